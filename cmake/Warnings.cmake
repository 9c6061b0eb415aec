# Warnings are errors on every toolchain.
function(setup_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /utf-8 /permissive-)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
      -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor -Wold-style-cast
      -Wcast-align -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
    # GCC 12 reports -Wrestrict from inside libstdc++ once the optimiser inlines
    # `"text" + std::string` (GCC bug 105329, fixed in 13); it says nothing about our code.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
endfunction()
