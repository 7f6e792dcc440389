# Writes the manual page at install time, naming the files under the prefix installed to, and
# compresses it as manual readers expect. Expects BRINDLEWICK_MAN_TEMPLATE, BRINDLEWICK_MAN_WORK,
# PROJECT_VERSION, BRINDLEWICK_MANDIR, BRINDLEWICK_APPDIR and BRINDLEWICK_DATADIR.

# A path as roff prints it: a backslash is its escape character, and '-' is a hyphen unless
# escaped, which would break a path copied from the page.
function(roff_path variable path)
  string(REPLACE "\\" "\\e" path "${path}")
  string(REPLACE "-" "\\-" path "${path}")
  set(${variable} "${path}" PARENT_SCOPE)
endfunction()
roff_path(BRINDLEWICK_MAN_DATADIR "${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_DATADIR}")
roff_path(BRINDLEWICK_MAN_APPDIR "${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_APPDIR}")

configure_file("${BRINDLEWICK_MAN_TEMPLATE}" "${BRINDLEWICK_MAN_WORK}/brindlewick.1" @ONLY)
set(page "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_MANDIR}/man1/brindlewick.1.gz")
message(STATUS "Installing: ${page}")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_MANDIR}/man1")
execute_process(COMMAND gzip -9n -c "${BRINDLEWICK_MAN_WORK}/brindlewick.1" OUTPUT_FILE "${page}"
                COMMAND_ERROR_IS_FATAL ANY)
