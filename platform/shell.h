// Desktop shell services: opening documents and web pages, and the stand-in
// for a message box until the editor can show one.
#pragma once

namespace platform {

// Opens a file or address with the desktop's default program (xdg-open).
// True when the opener reported success.
bool shellOpen(const char* target);

// Shows an error to the user: on stderr for now.
void errorBox(const char* title, const char* text);

}  // namespace platform
