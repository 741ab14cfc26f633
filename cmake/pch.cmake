# Precompiled headers: the library and standard headers that nearly every file of a target
# includes, parsed once per target instead of once per file. Only headers of other projects go
# in, so that a change of ours recompiles no more than it did. -DZODADOVEZ_PCH=OFF builds
# without them, which shows a file that forgot an include.
option(ZODADOVEZ_PCH "Precompile the common library headers" ON)

set(ZODADOVEZ_PCH_STD <algorithm> <chrono> <cstdint> <functional> <map> <memory> <optional>
    <string> <string_view> <variant> <vector>)

if(ZODADOVEZ_PCH)
  if(CCACHE_PROGRAM)
    # ccache caches a compilation that uses a precompiled header only when it may ignore the
    # header's time stamps and the macros the compiler defines itself.
    set(ZODADOVEZ_CCACHE_SLOPPINESS pch_defines,time_macros,include_file_mtime,include_file_ctime)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
        CCACHE_SLOPPINESS=${ZODADOVEZ_CCACHE_SLOPPINESS} ${CCACHE_PROGRAM})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
      # Without it clang stamps the header's time into it, and ccache sees a new input each time.
      add_compile_options("SHELL:-Xclang -fno-pch-timestamp")
    endif()
  endif()
endif()

# GCC 12 reports -Warray-bounds and -Wstringop-overflow on std::string's operator+ inlined
# into our code ("forming offset [32, N] is out of the bounds [0, 32]", "writing 41 bytes into a
# region of size 16") when the standard headers come from a precompiled header, and not when
# they are read as text: false alarms, off for the targets that use one. A build with
# ZODADOVEZ_PCH=OFF, and clang's, still give these warnings.
function(zodadovez_pch_warnings target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow)
  endif()
endfunction()

# Gives `target` a precompiled header of the standard headers above and `ARGN`. The files
# generated in the build tree are only embedded text (schemas, page assets, name lists): they
# compile without it.
function(zodadovez_precompile target)
  if(NOT ZODADOVEZ_PCH)
    return()
  endif()
  target_precompile_headers(${target} PRIVATE ${ZODADOVEZ_PCH_STD} ${ARGN})
  zodadovez_pch_warnings(${target})
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  get_target_property(binary_dir ${target} BINARY_DIR)
  foreach(source IN LISTS sources)
    string(FIND "${source}" "${binary_dir}/" at)
    if(at EQUAL 0)
      set_source_files_properties(${source} DIRECTORY ${source_dir}
                                  PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    endif()
  endforeach()
endfunction()
