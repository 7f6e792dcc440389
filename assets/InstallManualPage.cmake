# Writes the manual page at install time, naming the files under the prefix installed to, and
# compresses it as manual readers expect. Expects BRINDLEWICK_MAN_TEMPLATE, PROJECT_VERSION,
# BRINDLEWICK_MANDIR, BRINDLEWICK_APPDIR and BRINDLEWICK_DATADIR.

# A path as roff prints it: a backslash is its escape character, and '-' is a hyphen unless
# escaped, which would break a path copied from the page.
function(roff_path variable path)
  string(REPLACE "\\" "\\e" path "${path}")
  string(REPLACE "-" "\\-" path "${path}")
  set(${variable} "${path}" PARENT_SCOPE)
endfunction()
roff_path(BRINDLEWICK_MAN_DATADIR "${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_DATADIR}")
roff_path(BRINDLEWICK_MAN_APPDIR "${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_APPDIR}")

# Written and compressed where it goes, so the build folder is never written to by an install
# that may run as another user.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_MANDIR}/man1")
message(STATUS "Installing: ${folder}/brindlewick.1.gz")
configure_file("${BRINDLEWICK_MAN_TEMPLATE}" "${folder}/brindlewick.1" @ONLY)
execute_process(COMMAND gzip -9nf "${folder}/brindlewick.1" COMMAND_ERROR_IS_FATAL ANY)
