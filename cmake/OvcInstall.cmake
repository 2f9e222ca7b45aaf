# What `cmake --install` puts where, below the install prefix:
#   bin/                                   ovc, multiconv, multiconv-window, ovc-elog, psp-title
#   share/orvane-video-converter/          the shipped data (data/CMakeLists.txt)
#   share/applications/                    the desktop entry
#   share/icons/hicolor/scalable/apps/     the program's icon
# The programs find their data at <exe>/../share/orvane-video-converter, so
# bin/ and share/ must stay under one prefix.
#
# Included from the top-level CMakeLists.txt after the programs are defined.

set(OVC_DESKTOP_DIR ${CMAKE_CURRENT_LIST_DIR}/../data/desktop)

set(OVC_INSTALLED_PROGRAMS multiconv ovc-elog psp-title)
if(OVC_GUI)
  list(APPEND OVC_INSTALLED_PROGRAMS ovc multiconv-window)
endif()
foreach(program ${OVC_INSTALLED_PROGRAMS})
  if(NOT TARGET ${program})
    message(FATAL_ERROR "OvcInstall.cmake: the program ${program} is not defined yet; "
                        "include this file after add_subdirectory(src)")
  endif()
endforeach()
install(TARGETS ${OVC_INSTALLED_PROGRAMS} RUNTIME DESTINATION bin)

if(OVC_GUI)
  install(FILES ${OVC_DESKTOP_DIR}/orvane-video-converter.desktop
          DESTINATION share/applications)
  install(FILES ${OVC_DESKTOP_DIR}/orvane-video-converter.svg
          DESTINATION share/icons/hicolor/scalable/apps)
endif()
