# What `cmake --install` puts where, and the Debian package CPack makes of it:
#   bin/zodadovez
#   share/zodadovez/schema/{erp,gym,procedures,zev}.sql   for sqlcmd on a SQL Server
#   lib/systemd/system/zodadovez-nightly.{service,timer}  the nightly unattended import
#   share/man/man1/zodadovez.1
include(GNUInstallDirs)

install(TARGETS zodadovez RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/src/host/schema/erp.sql
  ${PROJECT_SOURCE_DIR}/src/host/schema/gym.sql
  ${PROJECT_SOURCE_DIR}/src/host/schema/procedures.sql
  ${PROJECT_SOURCE_DIR}/src/host/schema/zev.sql
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zodadovez/schema)
# Below the prefix, where systemd looks for the units of packages (/usr/lib/systemd/system)
# and of local installations (/usr/local/lib/systemd/system). Installed, not enabled.
install(FILES
  ${PROJECT_SOURCE_DIR}/dist/systemd/zodadovez-nightly.service
  ${PROJECT_SOURCE_DIR}/dist/systemd/zodadovez-nightly.timer
  DESTINATION lib/systemd/system)
configure_file(${PROJECT_SOURCE_DIR}/doc/zodadovez.1 ${PROJECT_BINARY_DIR}/doc/zodadovez.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/doc/zodadovez.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(ZODADOVEZ_MAINTAINER "Zodadovez maintainers <zodadovez@localhost>" CACHE STRING
    "The Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zodadovez)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "imports a gym application's receipts into the ERP as sales documents")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the receipts of a gym-management application and writes them into an Italian ERP on
Microsoft SQL Server (over ODBC) as sales documents, with the customers, VAT codes, payment
terms and articles they need; an embedded SQLite backend serves the demo. Unattended runs
through systemd, an import window as a local web page.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZODADOVEZ_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries the binary links, as Debian 12 names their packages.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libgcc-s1, libstdc++6 (>= 12), libsqlite3-0 (>= 3.40), libodbc2, libfmt9, libcpp-httplib0.11")
# The driver manager's tools and the FreeTDS driver reach a SQL Server; the embedded backend
# needs neither.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "unixodbc, tdsodbc")
include(CPack)
