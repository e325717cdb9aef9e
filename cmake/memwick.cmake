# mw_library(NAME DEPS...): a static library from every .cpp of the current folder.
function(mw_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# mw_tests(FOLDER DEPS...): one GoogleTest binary from tests/FOLDER/*.cpp, each test its own CTest case.
function(mw_tests folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target test_${folder})
  add_executable(${target} ${sources})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # Tests that read committed files (the example settings, the manual pages) find them here.
  target_compile_definitions(${target} PRIVATE MW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(${target} PRIVATE ${ARGN} PkgConfig::HTTPLIB Threads::Threads GTest::gtest GTest::gmock)
  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/${folder}/main.cpp)
    # the folder brings its own main (for example to create a QApplication)
  else()
    target_link_libraries(${target} PRIVATE GTest::gtest_main)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen
               TIMEOUT 300)
endfunction()

# mw_beside_ocr(TARGET): TARGET, run from its build folder, finds the word reader beside it, as an
# installed program finds it in its libexec folder.
function(mw_beside_ocr target)
  add_dependencies(${target} memwick-ocr)
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ln -sf $<TARGET_FILE:memwick-ocr> $<TARGET_FILE_DIR:${target}>/memwick-ocr VERBATIM)
endfunction()
