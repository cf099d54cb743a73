#pragma once

#include <string>

// How the packaging job reports: a status sentence, an overall percentage, and a
// regular chance for the user interface to handle pending events. None can fail.
class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void SetStatus(const std::wstring& text) = 0;
    virtual void SetProgress(const int& percent) = 0;
    virtual void Refresh() = 0;
};
