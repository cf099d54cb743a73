#pragma once

namespace Obscurity {

// Turns bytes into obscured bytes and back. Both operations return a new
// array of *outputLength bytes that the caller releases with delete[], and
// report every failure by throwing.
class IObscurity {
public:
    virtual ~IObscurity() = default;
    virtual unsigned char* obscure(const unsigned char* data, unsigned int length, unsigned int* outputLength) = 0;
    virtual unsigned char* reveal(const unsigned char* data, unsigned int length, unsigned int* outputLength) = 0;
};

}  // namespace Obscurity
