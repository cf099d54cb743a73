#pragma once

#include <stdexcept>

namespace Obscurity {

// A failure to obscure or reveal, with a message beginning "Obscure:" or one of
// the facade's own texts.
class ObscurityException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace Obscurity
