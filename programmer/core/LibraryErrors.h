// Texts for the session status codes of the link library, as the programmer
// shows them in its connect and disconnect messages.
#pragma once

#include <string>

namespace Programmer {

class LibraryErrors {
public:
    // The string id for a status code; codes without a text of their own
    // give "unknown error" (117).
    static int StringId(int code);
    static std::string Text(int code);
};

} // namespace Programmer
