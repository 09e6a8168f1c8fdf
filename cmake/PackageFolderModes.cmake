# Run by CPack on the files it is about to pack: the folders it and the
# install made carry the umask of the one who builds, and go into the
# package as they are.
execute_process(COMMAND find "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" -type d -exec chmod 0755 {} +
  COMMAND_ERROR_IS_FATAL ANY)
