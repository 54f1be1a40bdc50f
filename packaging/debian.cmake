# The Debian package: cmake --build BUILD --target package. Included from the
# top directory, where CPack writes its configuration.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME consopuntos)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "consopuntos developers <dev@consopuntos.invalid>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "consopuntos developers <dev@consopuntos.invalid>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Run-time dependencies come from the binary's libraries (dpkg-shlibdeps). The
# embedded Firebird engine is a plugin the client library loads for local
# database files, which no library dependency shows: recommended, since a
# company whose databases are all on servers does without it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "firebird3.0-server-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "firebird3.0-utils")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "consolidate customer loyalty points across branch databases")
set(CPACK_PACKAGE_DESCRIPTION "consopuntos consolida en la base de datos principal de una empresa los puntos
acumulados de los clientes de todas sus sucursales (puntos de venta), en bases
de datos Firebird: trae de cada sucursal los clientes nuevos y su resumen de
puntos, y devuelve a cada una los clientes nuevos de la principal y la tabla
de puntos acumulados consolidada. Se usa desde su ventana o, sin atención,
desde un programador de tareas.

consopuntos consolidates the loyalty points of a company's customers from all
its branches (points of sale) into the company's main Firebird database: it
brings each branch's new customers and points summary to the main database, and
sends the main database's new customers and consolidated points table back to
every branch. It runs from its window (in Spanish) or unattended from a
scheduler.")
include(CPack)
