// Registers stem, fold, StopList and Robots in the module.

#ifndef TARVIS_PYTHON_TEXT_UTILITIES_H_
#define TARVIS_PYTHON_TEXT_UTILITIES_H_

#include <pybind11/pybind11.h>

void RegisterTextUtilities(pybind11::module_& module);

#endif  // TARVIS_PYTHON_TEXT_UTILITIES_H_
