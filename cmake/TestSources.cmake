# The sources of the main test program: every .cpp under DIR, as paths
# relative to DIR, less the flat memory map (a library of its own) and the
# programs of their own in window/ and sdl/. The filter reads the relative
# path only, so a checkout under a folder of one of those names keeps its
# tests.
function(vantorell_test_sources out dir)
  if(CMAKE_SCRIPT_MODE_FILE)
    set(depends "")
  else()
    set(depends CONFIGURE_DEPENDS)
  endif()
  file(GLOB_RECURSE sources ${depends} RELATIVE ${dir} ${dir}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "^support/flat_memory\\.cpp$")
  list(FILTER sources EXCLUDE REGEX "^(window|sdl)/")
  list(SORT sources)
  set(${out} ${sources} PARENT_SCOPE)
endfunction()
