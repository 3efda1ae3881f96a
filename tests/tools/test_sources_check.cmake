# cmake -DWORK_DIR=... -P test_sources_check.cmake: the test sources of a
# tests folder that lies under folders named window and sdl are all found,
# and only the programs of their own are left out.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/TestSources.cmake)
set(dir ${WORK_DIR}/window/sdl/tests)
file(REMOVE_RECURSE ${WORK_DIR})
foreach(f a.cpp host/b.cpp support/keep.cpp support/flat_memory.cpp window/w.cpp sdl/s.cpp)
  file(WRITE ${dir}/${f} "")
endforeach()
vantorell_test_sources(found ${dir})
if(NOT found STREQUAL "a.cpp;host/b.cpp;support/keep.cpp")
  message(FATAL_ERROR "test sources found: '${found}'")
endif()
