#pragma once

#include <stdexcept>
#include <string>

// The one exception type of the program. Its message is shown to the user as it stands
// (the event handlers catch it at their edge), so it names the file, the folder, the value
// or the accepted range the user needs to act on.
class ViewerError : public std::runtime_error {
public:
    explicit ViewerError(const std::string& message) : std::runtime_error(message) {}
};
