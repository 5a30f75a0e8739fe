# virirado_library(NAME DIR [LINK ...]): a static library from DIR/src/*.cpp.
function(virirado_library name dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/src/*.cpp)
  if(NOT srcs)
    message(STATUS "${name}: no sources yet, not built")
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${dir}/src)
  target_link_libraries(${name} PUBLIC virirado_settings PRIVATE virirado_warnings ${ARGN})
endfunction()

# virirado_tests(NAME DIR [LINK ...]): one GoogleTest binary from DIR/tests/*.cpp, under ctest.
# A tests/main.cpp, when present, replaces gtest_main (for process-wide set-up).
function(virirado_tests name dir)
  if(NOT VIRIRADO_TESTS)
    return()
  endif()
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/tests/*.cpp)
  if(NOT srcs OR NOT TARGET ${ARGV2})
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE virirado_settings virirado_warnings GTest::gmock ${ARGN})
  if(EXISTS ${dir}/tests/main.cpp)
    target_link_libraries(${name} PRIVATE GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${dir}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# virirado_tools_can_listen(TARGET): Qt's private headers let a program count an
# assistive tool as listening without a desktop bridge (tests and benchmarks of
# what tools hear); without them those parts skip.
function(virirado_tools_can_listen target)
  get_target_property(private_dirs Qt6::GuiPrivate INTERFACE_INCLUDE_DIRECTORIES)
  find_file(VIRIRADO_QPA_ACCESSIBILITY qpa/qplatformaccessibility.h
    PATHS ${private_dirs} NO_DEFAULT_PATH)
  if(VIRIRADO_QPA_ACCESSIBILITY)
    target_link_libraries(${target} PRIVATE Qt6::GuiPrivate)
    target_compile_definitions(${target} PRIVATE VIRIRADO_TOOLS_CAN_LISTEN=1)
  endif()
endfunction()
