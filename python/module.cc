// The Python package tarvis: the library and the host component's text
// pipeline for Python programs. Indexes made here and by the tarvis command
// answer each other alike: both fold, stem and stop words as the settings
// file beside the index says.
//
// The library's temporary files go to a private directory under $TMPDIR,
// made at import and removed at exit.

#include <pybind11/pybind11.h>

#include <cstdlib>
#include <string>

#include "errors.h"
#include "index_object.h"
#include "library_call.h"
#include "scratch_dir.h"
#include "text_utilities.h"

namespace py = pybind11;

PYBIND11_MODULE(tarvis, module) {
  module.doc() =
      "Full-text indexing and search.\n\n"
      "    with tarvis.Index.create(\"notes.idx\", stem=True) as ix:\n"
      "        with ix.session() as s:\n"
      "            s.add_text(\"Backups go to tape\", data=b\"note 1\")\n"
      "        for hit in ix.search(\"backup AND tape\"):\n"
      "            print(hit.record, hit.data)\n";
  RegisterErrors(module);
  RegisterTextUtilities(module);
  RegisterIndex(module);

  const char* tmpdir = std::getenv("TMPDIR");
  std::string prefix =
      std::string(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp") +
      "/tarvis";
  static ScratchDirT* scratch = nullptr;
  try {
    scratch = new ScratchDirT(prefix);
  } catch (const HostErrorT& error) {
    throw py::import_error(error.Message);
  }
  py::module_::import("atexit").attr("register")(py::cpp_function([] {
    delete scratch;
    scratch = nullptr;
  }));
}
