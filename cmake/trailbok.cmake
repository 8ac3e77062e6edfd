# Shared settings for every target the project builds itself.

set(TB_WARNINGS -Wall -Wextra -Wshadow)
# Bit-identical simulation needs the compiler to keep float expressions as written.
set(TB_FLOAT -ffp-contract=off)
set(TB_SANITIZERS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

# Applies warnings, float rules and (in the sanitizer build) sanitizers to a target.
function(tb_target_settings target)
  target_compile_options(${target} PRIVATE ${TB_WARNINGS} ${TB_FLOAT})
  target_compile_definitions(${target} PRIVATE $<$<CONFIG:Debug>:TB_DEBUG=1>)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(TB_SANITIZE)
    target_compile_options(${target} PRIVATE ${TB_SANITIZERS})
    target_link_options(${target} PUBLIC ${TB_SANITIZERS})
  endif()
endfunction()

# One static library per source folder: tb_library(NAME sources... [DEPS libs...])
function(tb_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  tb_target_settings(${name})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# One GoogleTest executable per folder, registered with CTest under the folder's label.
# GL: the tests open a GL context, whose driver keeps allocations LeakSanitizer can't attribute.
# DIGEST: a GoogleTest filter for the tests that compare the simulation with a stored digest; they
# carry the label "digest" as well, so the release build can run just them.
function(tb_test name)
  cmake_parse_arguments(ARG "GL" "LABEL;DIGEST" "SOURCES;DEPS" ${ARGN})
  if(ARG_GL)
    list(APPEND ARG_SOURCES ${PROJECT_SOURCE_DIR}/tests/support/gl_test_env.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  tb_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(ARG_DIGEST)
    gtest_discover_tests(${name} TEST_FILTER "-${ARG_DIGEST}"
                         PROPERTIES LABELS ${ARG_LABEL} DISCOVERY_TIMEOUT 60)
    gtest_discover_tests(${name} TEST_FILTER "${ARG_DIGEST}" TEST_LIST ${name}_digest_tests
                         DISCOVERY_TIMEOUT 60)
    # Discovery passes each property value on as a word of its own, so the two labels are set
    # by a script CTest runs after the discovered tests are added.
    set(labels ${CMAKE_CURRENT_BINARY_DIR}/${name}_digest_labels.cmake)
    file(WRITE ${labels}
         "if(${name}_digest_tests)\n"
         "  set_tests_properties(\${${name}_digest_tests} PROPERTIES LABELS \"${ARG_LABEL};digest\")\n"
         "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels})
  else()
    gtest_discover_tests(${name} PROPERTIES LABELS ${ARG_LABEL} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# A program of the game folder that opens no window (the demo tool, the race server): linked
# against only what it uses, so the window library the platform folder carries is left out.
function(tb_tool name source)
  add_executable(${name} ${source})
  tb_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TB_GAME_DIR})
  target_link_options(${name} PRIVATE -Wl,--as-needed)
endfunction()
