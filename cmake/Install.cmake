# cmake --install and cpack -G DEB: the plugin where a host looks for plugins, the runner and
# the simulator in bin/, the README and the examples in share/.
include(GNUInstallDirs)

# The runner needs our small host library; it goes in a folder of its own so that it never
# stands in for a real host's library of the same name.
set(AB_EIP_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/ab_eip)

install(TARGETS ab_eip LIBRARY DESTINATION ${AB_EIP_PLUGIN_INSTALL_DIR})
install(TARGETS zelhost LIBRARY DESTINATION ${AB_EIP_PRIVATE_LIBDIR})
install(TARGETS ab-eip-runner ab_sim_server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set_target_properties(ab-eip-runner PROPERTIES INSTALL_RPATH "$ORIGIN/../${AB_EIP_PRIVATE_LIBDIR}")
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_PACKAGE_NAME ab-eip)
set(CPACK_PACKAGE_VENDOR "ab_eip")
set(CPACK_PACKAGE_CONTACT "ab_eip maintainers <ab-eip@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "EtherNet/IP (CIP) PLC driver plugin, host runner and PLC simulator")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# A system libplctag comes from its own sources, not from a Debian package, so it is no dependency here.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5core5a (>= 5.15), libqt5network5 (>= 5.15)")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_GENERATOR DEB)
include(CPack)
