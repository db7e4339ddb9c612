# The Debian package, built by CPack from the install rules (scripts/package runs it):
#   cpack --config build/CPackConfig.cmake  ->  orvalis_VERSION_ARCH.deb
# Its dependencies come from the programs themselves (dpkg-shlibdeps); the desktop database, the
# icon cache and the MIME database are refreshed by the triggers of the packages that own them,
# so the package has no maintainer scripts.

set(CPACK_GENERATOR DEB)
# The package builds only the programs and the files it holds (scripts/package builds them
# first), not the tests and benchmarks of the whole tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME orvalis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvalis maintainers")
set(CPACK_PACKAGE_CONTACT "Orvalis maintainers <maintainers@users.noreply.c-seed-77ab0ec3.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "personal web research agent")
# One paragraph a block of lines under 80 characters; CPack marks the empty lines as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Orvalis keeps a Topic database: topics with their query terms, categories
and relations; the web documents found for each topic, with titles,
extracts, key terms and notes; and the search engines the agent may query.

In the background the agent searches each topic on every eligible engine
through the engine's own web form, adds the new documents, fetches and
summarizes them, follows their links to a depth and does it again on the
topic's schedule.

The package holds the window (orvalis) and the same engine without a window
(orvalis-cli), for scripts and servers.")

include(CPack)
