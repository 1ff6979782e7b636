# Run at install time: writes CRYVAN_TEMPLATE to CRYVAN_OUTPUT naming the program under the
# prefix being installed to, which CPack and `cmake --install --prefix` choose after configuring.
if(IS_ABSOLUTE "${CRYVAN_BINDIR}")
  set(CRYVAN_PROGRAM "${CRYVAN_BINDIR}/cryvan")
else()
  set(CRYVAN_PROGRAM "${CMAKE_INSTALL_PREFIX}/${CRYVAN_BINDIR}/cryvan")
endif()
configure_file("${CRYVAN_TEMPLATE}" "${CRYVAN_OUTPUT}" @ONLY)
