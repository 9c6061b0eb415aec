# Keeps the MinGW-w64 SetUp.exe small: one static exe of at most 448 KB that a user downloads
# and runs, with nothing but Windows' own DLLs (msvcrt.dll included) beside it.
# scripts/check-size.sh holds the limit; docs/figures.md has the measurements.
#
# Included from src/CMakeLists.txt before its targets are made, so that the settings below reach
# SetUp.exe and every library linked into it, and nothing outside src/.

option(SETUP_LTO "Link-time optimisation of SetUp.exe and its libraries (MinGW release builds)" ON)
option(SETUP_STRIP "Strip SetUp.exe; OFF keeps its symbols for x86_64-w64-mingw32-nm --size-sort -S" ON)

# LTO is where most of the saving is (about 35 KB): the dialog logic, the install steps and the
# Win32 adapters are small functions across many static libraries, and only whole-program
# optimisation can inline them into their few callers and drop what SetUp.exe never calls.
# CMake makes the archives with gcc-ar, so the libraries keep their LTO symbol tables; Debug builds
# stay without it so that a debugger sees the code as written.
if(SETUP_LTO)
  include(CheckIPOSupported)
  check_ipo_supported(RESULT setup_ipo_ok OUTPUT setup_ipo_output LANGUAGES CXX)
  if(setup_ipo_ok)
    # CMake adds -fno-fat-lto-objects, which is GCC's default anyway and which the clang-based
    # static analysis (scripts/check-static.sh, over these compile commands) rejects.
    set(CMAKE_CXX_COMPILE_OPTIONS_IPO -flto=auto)
    set(setup_lto_active ON)
    set(CMAKE_INTERPROCEDURAL_OPTIMIZATION_MINSIZEREL ON)
    set(CMAKE_INTERPROCEDURAL_OPTIMIZATION_RELEASE ON)
    set(CMAKE_INTERPROCEDURAL_OPTIMIZATION_RELWITHDEBINFO ON)
  else()
    message(WARNING "No link-time optimisation with this toolchain; SetUp.exe will be larger: ${setup_ipo_output}")
  endif()
endif()

# GCC 12 splits the link-time work into partitions by default and can then fail with an internal
# error (binds_to_current_def_p, on an IPA-SRA clone called across partitions). Optimised as one
# partition, the program has no such calls, and comes out a little smaller too. Any program that
# links an LTO library gets this through the library (setup_lto_interface), the tests included.
set(setup_lto_link_options $<$<CONFIG:MinSizeRel,Release,RelWithDebInfo>:-flto-partition=one>)
function(setup_lto_interface target)
  if(setup_lto_active)
    target_link_options(${target} INTERFACE ${setup_lto_link_options})
  endif()
endfunction()

# No run-time type information: SetUp.exe has no dynamic_cast or typeid (GCC refuses both without
# it), and the types it throws and catches keep theirs. Every class with virtual functions loses
# its type_info object and name, and the classes with two bases (the progress control, the quiet
# view) no longer bring in libstdc++'s __vmi_class_type_info with its dyncast and upcast walks:
# 6.5 KB. Set for src/ only; the test programs keep theirs.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)

# Link options of SetUp.exe.
function(setup_small_exe_options target)
  set(options -municode -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
  if(setup_lto_active)
    list(APPEND options ${setup_lto_link_options})
  endif()
  if(SETUP_STRIP)
    list(APPEND options -s)
  endif()
  # Unreferenced data and library sections go. (Functions mostly stay: binutils keeps every
  # .pdata unwind entry, and through it the code it describes, so -ffunction-sections buys
  # nothing here and its padding even costs a few KB; LTO does that work instead.)
  list(APPEND options -Wl,--gc-sections)
  # The C++ runtime is linked as it comes: nothing of libstdc++ or libgcc is defined again or bound
  # elsewhere here, so SetUp.exe depends on none of their internals and stays sound whatever threads
  # Windows runs in the process (the shell behind the folder chooser, COM, console handlers).
  target_link_options(${target} PRIVATE ${options})
endfunction()
