#pragma once

#include <boost/filesystem/path.hpp>

// `inner` is `outer` or lies below it, element by element. Links are not resolved here:
// callers compare real paths when links matter.
inline bool IsWithin(const boost::filesystem::path& inner, const boost::filesystem::path& outer)
{
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i)
        if (i == inner.end() || *i != *o)
            return false;
    return true;
}
