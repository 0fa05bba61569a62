# kestrova_qt_test(name [LIBRARIES lib...] file...): a Qt Test program on the offscreen
# platform, so that no test needs a display. Not so on Windows: Wine passes no QT_ variable to
# its programs, and the offscreen platform there has no fonts; the tests run on the windows
# platform with the program's own style, under Wine on an X display (xvfb-run).
function(kestrova_qt_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBRARIES")
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} Qt6::Test)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-qt-test.sh
      ${KESTROVA_WINE_PREFIX} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300
    LABELS window)
  if(WIN32)
    # A static Qt finds only the plugins a program names.
    qt_import_plugins(${name}
      INCLUDE Qt6::QWindowsIntegrationPlugin Qt6::QWindowsVistaStylePlugin)
  endif()
endfunction()
