# SPDX-License-Identifier: MIT
# Run by CPack before it packs: for the source tarball (the only packaging
# that lists installed directories), adds the configured RPM spec at the
# tarball's top, where "rpmbuild -ta" looks for it.
if(CPACK_INSTALLED_DIRECTORIES)
  file(COPY_FILE "${CPACK_TARVEX_RPM_SPEC}" "${CPACK_TEMPORARY_DIRECTORY}/tarvex.spec")
endif()
