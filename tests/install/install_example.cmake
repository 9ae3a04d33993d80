# Installs the build into a scratch prefix, then configures, builds and runs
# the example host against it with find_package(tarvis), checks the
# pkg-config file, runs the installed tarvis command and, when PYTHON names
# an interpreter, imports the installed Python package. The installed
# programs must find the installed library by their own run path.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
foreach(file include/tarvis/tarvis.h lib/libtarvis.so lib/pkgconfig/tarvis.pc
        lib/cmake/tarvis/tarvisConfig.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${WORK_DIR}/build
  -DCMAKE_PREFIX_PATH=${prefix} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the example against the package failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the example against the package failed")
endif()
execute_process(COMMAND ${WORK_DIR}/build/hello RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the example host failed: ${out}")
endif()
file(READ ${prefix}/lib/pkgconfig/tarvis.pc pc)
if(NOT pc MATCHES "-ltarvis")
  message(FATAL_ERROR "unexpected pkg-config file:\n${pc}")
endif()
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --cflags tarvis OUTPUT_VARIABLE cflags
    RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(expected ${prefix}/include REALPATH)
  string(REGEX REPLACE "^-I" "" got "${cflags}")
  get_filename_component(got ${got} REALPATH)
  if(NOT rc EQUAL 0 OR NOT got STREQUAL expected)
    message(FATAL_ERROR "pkg-config resolves tarvis to '${cflags}', not ${expected}")
  endif()
endif()

# The installed command runs from the prefix: it indexes and searches.
unset(ENV{LD_LIBRARY_PATH})
file(WRITE ${WORK_DIR}/docs/note.txt "installed tarvis finds its library\n")
execute_process(COMMAND ${prefix}/bin/tarvis index -q ${WORK_DIR}/note.idx
  ${WORK_DIR}/docs RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the installed tarvis does not run: ${err}")
endif()
execute_process(COMMAND ${prefix}/bin/tarvis search --count ${WORK_DIR}/note.idx
  library RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "1\n")
  message(FATAL_ERROR "the installed tarvis searched wrongly: '${out}'")
endif()

if(EXISTS ${SOURCE_DIR}/doc/tarvis.1 AND
   NOT EXISTS ${prefix}/share/man/man1/tarvis.1)
  message(FATAL_ERROR "not installed: share/man/man1/tarvis.1")
endif()

# The installed Python package: imported from the prefix's site-packages,
# with the prefix's library, it searches the index the command made.
if(PYTHON)
  file(GLOB site ${prefix}/lib/python*/site-packages)
  if(NOT EXISTS "${site}/tarvis.pyi")
    message(FATAL_ERROR "the Python package is not installed under ${prefix}/lib")
  endif()
  set(ENV{PYTHONPATH} ${site})
  execute_process(COMMAND ${PYTHON} -c "
import tarvis
assert tarvis.__file__.startswith('${site}/'), tarvis.__file__
maps = open('/proc/self/maps').read()
assert '${prefix}/lib/libtarvis.so' in maps, 'not the installed library'
with tarvis.Index.open('${WORK_DIR}/note.idx', readonly=True) as ix:
    assert [h.record for h in ix.search('finds')] == [1]
" RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the installed Python package failed: ${err}")
  endif()
endif()
