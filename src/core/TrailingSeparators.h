#pragma once

#include <string>

// Shell completion ends a folder with "/"; a folder's own name and the folder beside it
// come from the path without it. The root stays "/".
inline std::wstring WithoutTrailingSeparators(std::wstring path)
{
    while (path.size() > 1 && path.back() == L'/')
        path.pop_back();
    return path;
}
