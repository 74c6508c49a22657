# Brings the desktop's caches under a data folder (a prefix's share/) up to date with what was
# installed there or removed: the file types (without it the type of the program's tables
# stays unknown), the programs that open each type, and an icon cache where there is one.
# Skipped when installing into a staging folder (DESTDIR), and for each cache whose tool this
# machine lacks.
function(kvel_refresh_caches data_dir)
  if(NOT "$ENV{DESTDIR}" STREQUAL "")
    return()
  endif()
  find_program(kvel_update_mime update-mime-database)
  if(kvel_update_mime AND IS_DIRECTORY "${data_dir}/mime/packages")
    message(STATUS "Updating the file types in ${data_dir}/mime")
    execute_process(COMMAND "${kvel_update_mime}" "${data_dir}/mime")
  endif()
  find_program(kvel_update_desktop update-desktop-database)
  if(kvel_update_desktop AND IS_DIRECTORY "${data_dir}/applications")
    message(STATUS "Updating the programs of each file type in ${data_dir}/applications")
    execute_process(COMMAND "${kvel_update_desktop}" -q "${data_dir}/applications")
  endif()
  # A cache that is there must follow, or it hides the icon; none is made where there was none
  # (a desktop then reads the icon folders themselves).
  find_program(kvel_update_icons gtk-update-icon-cache)
  if(kvel_update_icons AND EXISTS "${data_dir}/icons/hicolor/icon-theme.cache")
    message(STATUS "Updating the icon cache in ${data_dir}/icons/hicolor")
    execute_process(COMMAND "${kvel_update_icons}" -q -t -f "${data_dir}/icons/hicolor")
  endif()
endfunction()
