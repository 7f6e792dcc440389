#pragma once

namespace brindlewick {

// Tells screen readers what the menu bar's commands do and what the view is. Qt's own item for a
// command on the bar has its caption but no description, so each command is given one that reads
// its action's "What's This" text; the view is a picture and the options dialog a dialog rather
// than bare areas. Installed once, for every window made after it.
void InstallAccessibleCommands();

}  // namespace brindlewick
