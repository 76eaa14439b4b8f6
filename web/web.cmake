# The page (web/), built beside the desktop build by Debian's emscripten into web/dist/, and its
# tests in Debian's Chromium. Nothing of it is built where emscripten or Node.js is missing.
find_program(TARVIK_EMCMAKE emcmake)
find_program(TARVIK_NODE node)
find_program(TARVIK_NPM npm)
find_program(TARVIK_CHROMIUM chromium)
if(NOT TARVIK_EMCMAKE OR NOT TARVIK_NODE OR NOT TARVIK_NPM)
  message(STATUS "The page is not built: it needs emscripten, node and npm")
  return()
endif()

set(TARVIK_WEB_BUILD ${CMAKE_BINARY_DIR}/web)
set(TARVIK_WEB_DIST ${CMAKE_SOURCE_DIR}/web/dist)
# emscripten's JavaScript optimizer needs Debian's acorn, found there when node is not Debian's.
set(web_env ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
add_custom_target(web ALL
  COMMAND ${web_env} ${TARVIK_EMCMAKE} ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR}/web
          -B ${TARVIK_WEB_BUILD} -G Ninja -DTARVIK_WEB_DIST=${TARVIK_WEB_DIST}
  COMMAND ${web_env} ${CMAKE_COMMAND} --build ${TARVIK_WEB_BUILD}
  USES_TERMINAL VERBATIM)

# puppeteer-core as web/package-lock.json pins it; it downloads no browser.
set(web_modules ${CMAKE_SOURCE_DIR}/web/node_modules/.package-lock.json)
add_custom_command(OUTPUT ${web_modules}
  COMMAND ${TARVIK_NPM} ci --ignore-scripts --no-audit --no-fund --loglevel=error
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/web
  DEPENDS ${CMAKE_SOURCE_DIR}/web/package-lock.json ${CMAKE_SOURCE_DIR}/web/package.json)
add_custom_target(web_test_modules ALL DEPENDS ${web_modules})

if(TARVIK_CHROMIUM)
  add_test(NAME web_page
           COMMAND ${TARVIK_NODE} ${CMAKE_SOURCE_DIR}/web/test/page_test.mjs ${TARVIK_WEB_DIST}
                   $<TARGET_FILE:tarvik-cli> ${CMAKE_SOURCE_DIR}/examples ${CMAKE_BINARY_DIR})
  set_tests_properties(web_page PROPERTIES TIMEOUT 600 ENVIRONMENT CHROMIUM=${TARVIK_CHROMIUM})
else()
  message(STATUS "The page's tests do not run: they need Debian's chromium")
endif()
