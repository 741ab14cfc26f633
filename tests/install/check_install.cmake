# Installs the build tree into a temporary root as a package would (prefix /usr) and checks that
# every file is where the man page and the README say, that the installed binary runs, and that
# the man page names every subcommand and option the binary knows.
# Usage: cmake -DBUILD=<build tree> -DROOT=<temporary folder> -P check_install.cmake
file(REMOVE_RECURSE ${ROOT})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${ROOT} ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE errors)
if(failed)
  message(FATAL_ERROR "cmake --install failed: ${errors}")
endif()

set(usr ${ROOT}/usr)
foreach(file IN ITEMS bin/zodadovez
                      share/zodadovez/schema/erp.sql share/zodadovez/schema/gym.sql
                      share/zodadovez/schema/procedures.sql share/zodadovez/schema/zev.sql
                      lib/systemd/system/zodadovez-nightly.service
                      lib/systemd/system/zodadovez-nightly.timer
                      share/man/man1/zodadovez.1)
  if(NOT EXISTS ${usr}/${file})
    message(FATAL_ERROR "not installed: /usr/${file}")
  endif()
endforeach()

execute_process(COMMAND ${usr}/bin/zodadovez --version OUTPUT_VARIABLE version)
if(NOT version MATCHES "^zodadovez [0-9]+\\.[0-9]+\\.[0-9]+\n$")
  message(FATAL_ERROR "the installed binary says '${version}' to --version")
endif()
file(READ ${usr}/lib/systemd/system/zodadovez-nightly.service unit)
if(NOT unit MATCHES "ZODADOVEZ_ERP_FILE" OR unit MATCHES "PWD=|--erp ")
  message(FATAL_ERROR "the service must read the connection through ZODADOVEZ_ERP_FILE")
endif()

file(READ ${usr}/share/man/man1/zodadovez.1 manual)
execute_process(COMMAND ${usr}/bin/zodadovez --help OUTPUT_VARIABLE help)
string(REGEX MATCH "Subcommands:.*" listed "${help}")
string(REGEX MATCHALL "\n  [a-z]+" subcommands "${listed}")
foreach(line IN LISTS subcommands)
  string(STRIP "${line}" subcommand)
  if(NOT manual MATCHES "\\.B zodadovez ${subcommand}\n")
    message(FATAL_ERROR "the man page has no synopsis of '${subcommand}'")
  endif()
  execute_process(COMMAND ${usr}/bin/zodadovez ${subcommand} --help OUTPUT_VARIABLE options)
  string(REGEX MATCHALL "--[a-z-]+" options "${options}")
  foreach(option IN LISTS options)
    string(REPLACE "-" "\\\\-" escaped "${option}")
    if(NOT manual MATCHES "${escaped}")
      message(FATAL_ERROR "the man page does not name ${option} of '${subcommand}'")
    endif()
  endforeach()
endforeach()
file(REMOVE_RECURSE ${ROOT})
