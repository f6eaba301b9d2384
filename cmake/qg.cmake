# Helpers shared by every directory.
#
# qg_sources(OUT dir...)     all *.cpp of the given directories except tests,
#                            benchmarks and fuzz targets.
# qg_test_dir(NAME dir LIBS...)
#                            one GoogleTest executable from every *_test.cpp
#                            of a directory, registered as one CTest test
#                            (a test binary may start its own servers, so its
#                            cases run in one process).

function(qg_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(FILTER found EXCLUDE REGEX "(_test|_bench|_fuzz|_main)\\.cpp$")
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(qg_test_dir name dir)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*_test.cpp)
  # ThreadSanitizer programs have their own main and their own target.
  list(FILTER tests EXCLUDE REGEX "_tsan_test\\.cpp$")
  if(NOT tests)
    return()
  endif()
  add_executable(${name} ${tests})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main
                        GTest::gmock Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QG_BUILD_DIR=${CMAKE_BINARY_DIR};QG_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

# Links a deliverable or stand-in shared library: no prefix, symbols bound
# inside the library, exports limited by a version script.
function(qg_shared_module target version_script)
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".so")
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic
                      -Wl,--version-script=${version_script})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${version_script})
endfunction()
