#include "packaging/FileDigest.h"

#include <chrono>

#include "packaging/Sha256.h"
#include "platform/FolderTree.h"

FileDigest::FileDigest(const std::wstring& folder, const std::string& name)
    : result(std::async(std::launch::async, [this, folder, name] {
          Sha256 digest;
          Result done;
          done.error = Platform::ReadTreeFile(folder, name, [&](std::string_view bytes) {
              digest.Update(bytes);
              bytesRead += bytes.size();
              return !abandoned.load();
          });
          if (done.error == 0)
              done.hexDigest = digest.HexDigest();
          return done;
      }))
{}

FileDigest::~FileDigest()
{
    abandoned = true;
    if (result.valid())
        result.wait();
}

FileDigest::Result FileDigest::Wait(const std::function<bool()>& between)
{
    while (result.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        if (between && !between())
            abandoned = true;
    return result.get();
}
