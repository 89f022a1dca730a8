include(GoogleTest)
# Shared settings for every target of the project.

function(tobrin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

if(TOBRIN_SANITIZE OR TOBRIN_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
# Coverage feedback for libFuzzer in every library the harnesses reach.
if(TOBRIN_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# tobrin_add_test(NAME SOURCES file... LIBS lib... [FIXTURES]) builds one GoogleTest
# binary and registers its cases with CTest. FIXTURES makes it wait for the
# real-image fixtures and passes their folder in TOBRIN_FIXTURES.
function(tobrin_add_test name)
  cmake_parse_arguments(ARG "FIXTURES" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  tobrin_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  # One variable per property: gtest_discover_tests splits a value at ";".
  set(props ENVIRONMENT "TZ=UTC" ENVIRONMENT_MODIFICATION "TOBRIN_FIXTURES=set:${TOBRIN_FIXTURE_DIR}")
  if(ARG_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED images)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
endfunction()
