# The native Linux program as one static file over musl: no loader and no
# shared C or C++ library to bind before the night starts, which is most of
# what a one-night process costs. The product uses only the header-only part
# of the C++ library (<cstdint>, <cstring>, <new>, <bit>, ...), so the
# program is compiled with libstdc++'s headers in front of musl's and linked
# with musl's libc.a and libgcc alone. Without musl (or where the check
# below fails) programs link the ordinary shared libraries.
#
# The program is hardened as Debian hardens its own: a static PIE (musl's
# rcrt1.o relocates it wherever the kernel put it, with no loader), a
# stack protector and stack-clash probes on the product code, RELRO with
# immediate binding and a stack that is not executable. Each flag is asked
# of the compiler first, so a toolchain without one still builds.
#
# Sets varnock_musl, and makes varnock_product_musl: the compile and link
# options of the static program and of the twins of the product libraries
# it links. Sanitizer, fuzz and coverage builds take the ordinary way, and so
# do cross builds unless their toolchain file sets VARNOCK_STATIC_MUSL_CROSS
# (cmake/aarch64-linux-musl.cmake). musl and the compiler's own files are
# those of the compiler's target, as the compiler names it.

option(VARNOCK_STATIC_MUSL "Link the native Linux program statically against musl where it is installed" ON)
set(varnock_musl OFF)

set(musl_wanted OFF)
if(VARNOCK_STATIC_MUSL AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND (NOT CMAKE_CROSSCOMPILING OR VARNOCK_STATIC_MUSL_CROSS)
   AND NOT VARNOCK_SANITIZE AND NOT VARNOCK_FUZZ AND NOT VARNOCK_COVERAGE)
  set(musl_wanted ON)
endif()
if(musl_wanted AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Debian's musl-dev for the compiler's target (x86_64-linux-gnu's musl is
  # x86_64-linux-musl, multiarch's name for it), then musl's own default
  # prefix. Those are paths on the build machine, in a cross build too.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine OUTPUT_VARIABLE musl_target
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REGEX REPLACE "-gnu[^-]*$" "-musl" musl_triplet "${musl_target}")
  find_path(VARNOCK_MUSL_LIB_DIR NAMES libc.a crt1.o NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
            PATHS /usr/lib/${musl_triplet} /usr/lib/musl/lib /usr/local/musl/lib)
  find_path(VARNOCK_MUSL_INCLUDE_DIR NAMES stdlib.h NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
            PATHS /usr/include/${musl_triplet} /usr/lib/musl/include /usr/local/musl/include)
  # The compiler's own headers are where it says, whatever the folder is
  # called (gcc or gcc-cross).
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=include OUTPUT_VARIABLE musl_compiler_include
                  OUTPUT_STRIP_TRAILING_WHITESPACE)

  # The C++ library's own header folders, then musl's, then the compiler's
  # (stddef.h, stdarg.h): libstdc++'s <cstdlib> and friends reach the C
  # headers with #include_next, so the order matters. The prelude answers
  # the one question its glibc-made configuration asks of the C library.
  set(musl_cxx_headers "")
  set(musl_compiler_headers "")
  foreach(musl_dir IN LISTS CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
    if(musl_dir MATCHES "/c\\+\\+/")
      list(APPEND musl_cxx_headers -isystem${musl_dir})
    elseif(musl_dir STREQUAL musl_compiler_include)
      list(APPEND musl_compiler_headers -isystem${musl_dir})
    endif()
  endforeach()
  set(VARNOCK_MUSL_COMPILE_OPTIONS -nostdinc ${musl_cxx_headers} -isystem${VARNOCK_MUSL_INCLUDE_DIR} ${musl_compiler_headers}
                                   -include ${CMAKE_CURRENT_LIST_DIR}/static-musl-prelude.h)
  include(CheckCXXCompilerFlag)
  include(CheckLinkerFlag)
  # A hardening flag the toolchain refuses is left out, and said so loudly:
  # the program would otherwise ship without it unnoticed.
  foreach(musl_flag -fstack-protector-strong -fstack-clash-protection)
    string(MAKE_C_IDENTIFIER "VARNOCK_CXX_HAS${musl_flag}" musl_key)
    check_cxx_compiler_flag(${musl_flag} ${musl_key})
    if(${musl_key})
      list(APPEND VARNOCK_MUSL_COMPILE_OPTIONS ${musl_flag})
    else()
      message(WARNING "varnock: the compiler refuses ${musl_flag} (${musl_key} is false): "
                      "the program is built without it")
    endif()
  endforeach()
  set(musl_hardened_link "")
  foreach(musl_flag -z,relro -z,now -z,noexecstack)
    string(MAKE_C_IDENTIFIER "VARNOCK_LD_HAS_${musl_flag}" musl_key)
    check_linker_flag(CXX -Wl,${musl_flag} ${musl_key})
    if(${musl_key})
      list(APPEND musl_hardened_link -Wl,${musl_flag})
    else()
      message(WARNING "varnock: the linker refuses -Wl,${musl_flag} (${musl_key} is false): "
                      "the program is linked without it")
    endif()
  endforeach()

  # The C run-time's start files around the program, the compiler's own
  # (crtbeginS.o for a static PIE, crtbeginT.o for a fixed-address static
  # link), and no library but libc and libgcc.
  foreach(musl_file crtbeginS.o crtendS.o crtbeginT.o crtend.o libgcc.a)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${musl_file}
                    OUTPUT_VARIABLE musl_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(MAKE_C_IDENTIFIER ${musl_file} musl_key)
    set(gcc_${musl_key} ${musl_path})
  endforeach()
  set(musl_lib ${VARNOCK_MUSL_LIB_DIR})
  set(musl_pie_options -fPIE)
  set(musl_pie_link -static-pie -nostdlib ${musl_hardened_link} ${musl_lib}/rcrt1.o ${musl_lib}/crti.o ${gcc_crtbeginS_o})
  set(musl_pie_libraries ${musl_lib}/libc.a ${gcc_libgcc_a} ${gcc_crtendS_o} ${musl_lib}/crtn.o)
  set(musl_fixed_options -fno-pie)
  set(musl_fixed_link -static -nostdlib -no-pie ${musl_hardened_link} ${musl_lib}/crt1.o ${musl_lib}/crti.o ${gcc_crtbeginT_o})
  set(musl_fixed_libraries ${musl_lib}/libc.a ${gcc_libgcc_a} ${gcc_crtend_o} ${musl_lib}/crtn.o)

  if(VARNOCK_MUSL_LIB_DIR AND VARNOCK_MUSL_INCLUDE_DIR AND EXISTS ${musl_lib}/crt1.o AND EXISTS ${gcc_crtbeginT_o})
    # What the product asks of the headers and the link, tried once (the
    # answer is cached as VARNOCK_MUSL_WORKS).
    set(musl_check ${CMAKE_BINARY_DIR}/CMakeFiles/static-musl-check.cpp)
    file(WRITE ${musl_check} "#include <bit>\n#include <cstdint>\n#include <cstring>\n#include <new>\n#include <unistd.h>\n"
                        "alignas(4) char b[4];\n"
                        "int main() { char l[64]; auto* n = new (b) std::uint32_t(std::bit_ceil(std::strlen(b)));"
                        " std::memcpy(l, b, 4); return write(1, l, *n) < 0; }\n")
    # musl_try(<result> <kind> [<extra compile option>...]): whether the
    # check links as a static program of that kind (pie or fixed); the
    # program is left in static-musl-check/<result>.
    function(musl_try result kind)
      try_compile(${result} ${CMAKE_BINARY_DIR}/CMakeFiles/static-musl-check/${result} SOURCES ${musl_check}
                  COMPILE_DEFINITIONS ${VARNOCK_MUSL_COMPILE_OPTIONS} ${musl_${kind}_options} ${varnock_product_options} ${ARGN}
                  LINK_OPTIONS ${musl_${kind}_link}
                  LINK_LIBRARIES ${musl_${kind}_libraries}
                  CXX_STANDARD 20
                  COPY_FILE ${CMAKE_BINARY_DIR}/CMakeFiles/static-musl-check/${result}.out)
    endfunction()
    # A static PIE where musl has its self-relocating start file, else a
    # static program at a fixed address.
    set(musl_kind fixed)
    if(EXISTS ${musl_lib}/rcrt1.o AND EXISTS ${gcc_crtbeginS_o})
      musl_try(VARNOCK_MUSL_PIE_WORKS pie)
      if(VARNOCK_MUSL_PIE_WORKS)
        set(musl_kind pie)
      endif()
    endif()
    if(musl_kind STREQUAL "fixed")
      musl_try(VARNOCK_MUSL_WORKS fixed)
      set(varnock_musl ${VARNOCK_MUSL_WORKS})
    else()
      set(varnock_musl ON)
    endif()
  endif()
endif()

if(varnock_musl)
  set(VARNOCK_MUSL_KIND ${musl_kind})
  # Control-flow protection (x86's IBT and shadow stack) counts only if the
  # program carries its marking, and the linker keeps that only when every
  # object has it: a libc.a built without it drops it, and then the flag
  # would only cost code. So the flag is kept where the check's program,
  # linked as varnock is, still has the property note.
  check_cxx_compiler_flag(-fcf-protection VARNOCK_CXX_HAS_fcf_protection)
  if(VARNOCK_CXX_HAS_fcf_protection AND CMAKE_READELF)
    musl_try(VARNOCK_MUSL_CF_LINKS ${musl_kind} -fcf-protection)
    if(VARNOCK_MUSL_CF_LINKS)
      execute_process(COMMAND ${CMAKE_READELF} -n ${CMAKE_BINARY_DIR}/CMakeFiles/static-musl-check/VARNOCK_MUSL_CF_LINKS.out
                      OUTPUT_VARIABLE musl_notes ERROR_QUIET)
      if(musl_notes MATCHES "IBT")
        list(APPEND VARNOCK_MUSL_COMPILE_OPTIONS -fcf-protection)
      else()
        message(STATUS "varnock: no -fcf-protection: the static link drops its IBT/SHSTK marking (musl's libc.a has none)")
      endif()
    endif()
  endif()
  list(APPEND VARNOCK_MUSL_COMPILE_OPTIONS ${musl_${musl_kind}_options})
  set(VARNOCK_MUSL_LINK_OPTIONS ${musl_${musl_kind}_link})
  set(VARNOCK_MUSL_LINK_LIBRARIES ${musl_${musl_kind}_libraries})
endif()

if(varnock_musl)
  set(musl_said "a static PIE")
  if(VARNOCK_MUSL_KIND STREQUAL "fixed")
    set(musl_said "at a fixed address")
  endif()
  message(STATUS "varnock: one static program over musl (${VARNOCK_MUSL_LIB_DIR}), ${musl_said}")
elseif(musl_wanted)
  message(STATUS "varnock: no static musl link (it needs g++ and musl: apt-get install musl-tools); "
                 "the program links the ordinary shared libraries")
endif()
if(NOT varnock_musl)
  return()
endif()

# An optimised build of the static program is built for speed: at -O3 the
# line path (the copy into the buffer, the CR LF copy, the pool and its
# lock) inlines into itself, and a turn costs about a tenth fewer
# instructions than at -O2. The start files come before the program, the
# C libraries and the end files after every library.
set(musl_speed $<$<CONFIG:Release,RelWithDebInfo>:-O3>)
add_library(varnock_product_musl INTERFACE)
target_link_libraries(varnock_product_musl INTERFACE varnock_build_options)
target_compile_options(varnock_product_musl INTERFACE ${VARNOCK_MUSL_COMPILE_OPTIONS} ${varnock_product_options}
                                                      ${musl_speed})
target_link_options(varnock_product_musl INTERFACE ${VARNOCK_MUSL_LINK_OPTIONS} ${varnock_path_maps} ${musl_speed})
target_link_libraries(varnock_product_musl INTERFACE ${VARNOCK_MUSL_LINK_LIBRARIES})
# Where the compiler would call libgcc for an atomic operation, to choose at
# start-up between the processor's forms of it (aarch64), that choice asks
# glibc's own __getauxval, which musl lacks: the operations are inlined.
include(CheckCXXCompilerFlag)
check_cxx_compiler_flag(-mno-outline-atomics VARNOCK_HAVE_NO_OUTLINE_ATOMICS)
if(VARNOCK_HAVE_NO_OUTLINE_ATOMICS)
  target_compile_options(varnock_product_musl INTERFACE -mno-outline-atomics)
endif()
if(varnock_lto)
  target_compile_options(varnock_product_musl INTERFACE -flto=auto)
endif()

# The file that is run and installed carries no symbols or debug
# information: the crash report gives addresses, not names, and the
# program stays a few dozen KiB. They go to <program>.debug beside it,
# where gdb finds them through the debug link.
function(varnock_split_debug_information target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
