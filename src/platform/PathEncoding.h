#pragma once

namespace Platform {

// Makes boost::filesystem convert wide path text as UTF-8, whatever the process
// locale. Idempotent; the log calls it during static initialisation, before any
// other path is built.
void UseUtf8ForPaths();

}  // namespace Platform
