# Writes the desktop entry at install time, naming the program under the prefix installed to.
# Expects BRINDLEWICK_DESKTOP_TEMPLATE, BRINDLEWICK_APP_ID, BRINDLEWICK_BINDIR and
# BRINDLEWICK_DATADIR.
set(program "${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_BINDIR}/brindlewick")

# A value's own escapes: a backslash is written doubled.
string(REPLACE "\\" "\\\\" BRINDLEWICK_TRY_EXEC "${program}")

# Exec is a command line: a path with characters outside the plain set is quoted, with '"', '`',
# '$' and '\' escaped inside the quotes; '%' is doubled as field codes use it. The value's own
# escapes come on top.
set(command "${program}")
string(REPLACE "%" "%%" command "${command}")
if(NOT command MATCHES "^[A-Za-z0-9/._+%-]+$")
  string(REPLACE "\\" "\\\\" command "${command}")
  string(REPLACE "\"" "\\\"" command "${command}")
  string(REPLACE "`" "\\`" command "${command}")
  string(REPLACE "$" "\\$" command "${command}")
  set(command "\"${command}\"")
endif()
string(REPLACE "\\" "\\\\" BRINDLEWICK_EXEC "${command}")

set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_DATADIR}/applications/${BRINDLEWICK_APP_ID}.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${BRINDLEWICK_DESKTOP_TEMPLATE}" "${entry}" @ONLY)

# File managers offer the program under "Open With" for the types its entry names once the
# folder's MIME cache lists it. A staged install (a package being made) leaves that to the
# system's own trigger at the real install.
find_program(BRINDLEWICK_UPDATE_DESKTOP_DATABASE update-desktop-database)
if(BRINDLEWICK_UPDATE_DESKTOP_DATABASE AND "$ENV{DESTDIR}" STREQUAL "")
  execute_process(COMMAND "${BRINDLEWICK_UPDATE_DESKTOP_DATABASE}" -q
                          "${CMAKE_INSTALL_PREFIX}/${BRINDLEWICK_DATADIR}/applications")
endif()
