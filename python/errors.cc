// The package's exceptions; see errors.h.

#include "errors.h"

namespace py = pybind11;

namespace {

// Created once at import; the module holds the references for good.
PyObject* gTarvisError = nullptr;
PyObject* gQuerySyntaxError = nullptr;

// The statuses of a malformed query expression.
bool IsQueryStatus(StatusCodeT status) {
  return status <= StatusQuerySyntaxError && status >= StatusHexTermExpected;
}

void SetError(PyObject* type, const HostErrorT& error) {
  py::object exception =
      py::reinterpret_borrow<py::object>(type)(error.Message);
  exception.attr("status") = error.Status;
  exception.attr("name") = StatusName(error.Status);
  exception.attr("message") = StatusCodeMessage(error.Status);
  PyErr_SetObject(type, exception.ptr());
}

}  // namespace

void Raise(StatusCodeT status, const std::string& message) {
  HostFail(status, message);
}

void RegisterErrors(py::module_& module) {
  gTarvisError = PyErr_NewExceptionWithDoc(
      "tarvis.TarvisError",
      "A call of the library failed. .status is the library's (negative)\n"
      "status code, .name its name in the C header (\"StatusFileNotFound\")\n"
      "and .message the library's text for it; str() tells what failed.",
      PyExc_Exception, nullptr);
  if (gTarvisError == nullptr) throw py::error_already_set();
  gQuerySyntaxError = PyErr_NewExceptionWithDoc(
      "tarvis.QuerySyntaxError",
      "A typed query is malformed or asks for nothing (only stop words).",
      gTarvisError, nullptr);
  if (gQuerySyntaxError == nullptr) throw py::error_already_set();
  module.attr("TarvisError") = py::reinterpret_borrow<py::object>(gTarvisError);
  module.attr("QuerySyntaxError") =
      py::reinterpret_borrow<py::object>(gQuerySyntaxError);
  py::register_exception_translator([](std::exception_ptr pointer) {
    try {
      if (pointer) std::rethrow_exception(pointer);
    } catch (const QueryErrorT& error) {
      SetError(gQuerySyntaxError, error);
    } catch (const HostErrorT& error) {
      SetError(IsQueryStatus(error.Status) ? gQuerySyntaxError : gTarvisError,
               error);
    }
  });
}
