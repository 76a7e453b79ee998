# Warnings for the project's own targets (not for GoogleTest).
function(vorna_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(VORNA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A static library of the engine: vorna_library(NAME SOURCES... [DEPS libs...])
function(vorna_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  vorna_warnings(${name})
endfunction()

# The embedder runs on the build machine; VORNA_HOST_RUNNER (empty natively,
# node for the web build) is what runs it there.
# Embeds a binary file as `extern const unsigned char SYMBOL[]` with
# `extern const unsigned long SYMBOL_size` into the given target.
function(vorna_embed_bytes target symbol file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${VORNA_HOST_RUNNER} $<TARGET_FILE:vorna-embed> bytes ${symbol} ${file} ${out}
    DEPENDS vorna-embed ${file} VERBATIM)
  vorna_embed_object(${target} ${symbol} ${out})
endfunction()

# The generated source is built by an object library in the folder that made
# it (a custom command's output is only known there) and archived into target.
function(vorna_embed_object target symbol source)
  add_library(embed_${symbol} OBJECT ${source})
  target_link_libraries(${target} PUBLIC embed_${symbol})
endfunction()

# Embeds an OBJ/MTL text file as a null-terminated line table
# `extern const char* const SYMBOL[]` whose entry 0 is NAME.
function(vorna_embed_lines target symbol name file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${VORNA_HOST_RUNNER} $<TARGET_FILE:vorna-embed> lines ${symbol} ${name} ${file} ${out}
    DEPENDS vorna-embed ${file} VERBATIM)
  vorna_embed_object(${target} ${symbol} ${out})
endfunction()

# A GoogleTest executable registered with CTest: vorna_test(NAME SOURCES... DEPS ...).
# Every test program runs SDL on its dummy drivers (tests/support/test_environment.cpp).
function(vorna_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/test_environment.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  vorna_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
endfunction()

# One static library per subsystem, made of every .cpp in its folder.
function(vorna_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    vorna_library(${name} SOURCES ${sources} DEPS ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# Adds every immediate sub-folder of the current folder that has a CMakeLists.txt.
function(vorna_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
