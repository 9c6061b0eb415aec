# Delay-loaded window DLLs: user32 and gdi32 are mapped at the first call into them, not before
# wWinMain. An unattended run (/S, /UNINSTALL /S, /USERSETUP) opens no window and never calls them,
# and under Wine loading and starting them (with imm32 and the display driver behind them) is most
# of the fixed cost of a run: about 17 ms of a 56 ms one-file installation.
#
# Both are KnownDLLs: Windows maps them from its own sections whatever the search order, so a
# lazy load by name cannot be planted. The delay-load helper (__delayLoadHelper2, MinGW-w64's
# libmingwex) loads them with LoadLibraryA, which by the time of the first window follows the
# search order restricted in wWinMain. No other DLL may be delay-loaded this way:
# scripts/check-pe.sh refuses any other name in the delay import table.
#
# dlltool's call thunks save the four integer argument registers around the helper, not xmm0-3:
# a delay-loaded function taking a float or double argument would get garbage in it at its first
# call. Nothing SetUp.exe calls in user32 or gdi32 takes one; keep it that way.
#
# MinGW-w64 ships no .def files, only import libraries; the list of names is taken from the
# toolchain's own import library, so that a function newly called from user32 or gdi32 is found in
# the delay library without anyone keeping a list. The delay library stands in front of the
# ordinary one on the link line (the libraries that call these DLLs link it in its place).
#
# setup_delay_load_library(<dll base name> <output variable>): the delay import library's path.
function(setup_delay_load_library dll out)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${dll}_delay.a)
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${dll}_delay.def)
  if(MSVC)
    message(FATAL_ERROR "setup_delay_load_library is for MinGW-w64; MSVC takes /DELAYLOAD")
  endif()
  if(NOT CMAKE_NM OR NOT CMAKE_DLLTOOL)
    message(FATAL_ERROR "delay loading ${dll}.dll needs the toolchain's nm and dlltool (CMAKE_NM, CMAKE_DLLTOOL)")
  endif()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${dll}.a
                  OUTPUT_VARIABLE import_lib OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${import_lib}" OR NOT EXISTS "${import_lib}")
    message(FATAL_ERROR "no import library lib${dll}.a in the toolchain (got '${import_lib}')")
  endif()
  execute_process(COMMAND ${CMAKE_NM} ${import_lib} OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_rc)
  # Each function's short import object defines "__imp_<name>" as an import symbol (type I).
  string(REGEX MATCHALL "[ \t]I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
  list(TRANSFORM imports REPLACE "^[ \t]I __imp_" "")
  list(REMOVE_DUPLICATES imports)
  list(LENGTH imports count)
  # user32 exports about a thousand names, gdi32 some hundreds: a short list means nm read
  # something else, and a delay library made from it would leave calls to the ordinary import.
  if(NOT nm_rc EQUAL 0 OR count LESS 100)
    message(FATAL_ERROR "reading the exports of ${import_lib} failed (${count} names)")
  endif()
  list(JOIN imports "\n  " body)
  file(WRITE ${def} "LIBRARY ${dll}.dll\nEXPORTS\n  ${body}\n")
  # Made here rather than as a build step: the input is the toolchain, which only a new configure
  # brings, and dlltool takes a few milliseconds.
  execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${dll}.dll --output-delaylib ${lib}
                  RESULT_VARIABLE dlltool_rc ERROR_VARIABLE dlltool_err)
  if(NOT dlltool_rc EQUAL 0)
    message(FATAL_ERROR "dlltool could not make the delay import library of ${dll}.dll: ${dlltool_err}")
  endif()
  set(${out} ${lib} PARENT_SCOPE)
endfunction()
