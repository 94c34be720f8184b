# qp_library(NAME folder DEPS targets...): one static library per src/ folder, made of every
# .cpp file in that folder.
function(qp_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  set(target qp_${folder})
  if(sources)
    add_library(${target} STATIC ${sources})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    target_compile_options(${target} PRIVATE ${QP_WARNINGS})
    set(scope PUBLIC)
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
    set(scope INTERFACE)
  endif()
  target_include_directories(${target} ${scope} ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(${target} ${scope} QP_VERSION="${PROJECT_VERSION}")
endfunction()

# qp_test_folder(folder LIBS targets...): one GoogleTest program per tests/ folder.
function(qp_test_folder folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target qp_${folder}_tests)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE qp_test_support ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_options(${target} PRIVATE ${QP_WARNINGS})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Listing the tests when ctest runs (not right after linking) avoids a race with parallel
  # link jobs that can make a just-written executable briefly busy.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()
