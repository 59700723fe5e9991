# The Windows zip (target windows_zip, part of the build): the three programs, the
# mailer gbmail.cmd, a server.ini.sample with Windows paths and CR LF line ends,
# the browser page, the README and the docs, in one folder named after the version.
set(LANTREL_ZIP_NAME lantrel-${PROJECT_VERSION}-windows)
set(LANTREL_ZIP ${CMAKE_BINARY_DIR}/${LANTREL_ZIP_NAME}.zip)
set(zip_root ${CMAKE_BINARY_DIR}/zip/${LANTREL_ZIP_NAME})

# The Linux sample with the paths an operator of WinBoard or Arena would use.
file(READ ${PROJECT_SOURCE_DIR}/packaging/server.ini.sample sample)
string(REPLACE "/srv/chess/xboard-debug.log" "C:\\Chess\\winboard.debug" sample "${sample}")
string(REPLACE "/srv/chess/tournament.pgn" "C:\\Chess\\tournament.pgn" sample "${sample}")
set(windows_sample ${CMAKE_BINARY_DIR}/zip/server.ini.sample)
file(CONFIGURE OUTPUT ${windows_sample} CONTENT "${sample}" @ONLY NEWLINE_STYLE CRLF)

file(GLOB zip_docs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
file(GLOB_RECURSE zip_page CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/web/*)
set(zip_programs lantrel-server lantrel-viewer lantrel-replay)

add_custom_command(OUTPUT ${LANTREL_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_root} ${LANTREL_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_root}/docs
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:lantrel-server> $<TARGET_FILE:lantrel-viewer>
          $<TARGET_FILE:lantrel-replay> ${PROJECT_SOURCE_DIR}/tools/gbmail.cmd ${windows_sample}
          ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${zip_root}
  # The programs travel without their symbols (the build keeps them).
  COMMAND ${CMAKE_STRIP} ${zip_root}/lantrel-server.exe ${zip_root}/lantrel-viewer.exe
          ${zip_root}/lantrel-replay.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${zip_docs} ${zip_root}/docs
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/web ${zip_root}/web
  COMMAND ${CMAKE_COMMAND} -E tar cf ${LANTREL_ZIP} --format=zip ${LANTREL_ZIP_NAME}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/zip
  DEPENDS ${zip_programs} ${PROJECT_SOURCE_DIR}/tools/gbmail.cmd ${windows_sample}
          ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${zip_docs} ${zip_page}
  COMMENT "Packing ${LANTREL_ZIP_NAME}.zip"
  VERBATIM)
add_custom_target(windows_zip ALL DEPENDS ${LANTREL_ZIP})
