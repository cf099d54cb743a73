#include "packaging/AuthenticodeSignature.h"

#include <gtest/gtest.h>

// Excerpts of `osslsigncode verify` output for a stamped and an unstamped signature, as
// Debian 12's osslsigncode 2.5 and its backported 2.9 print them.
TEST(AuthenticodeSignature, TimeStampIsReadFromEitherOsslsigncodeVersion)
{
    struct Case {
        const char* name;
        std::string output;
        std::string stamp;
    };
    const Case cases[] = {
        {"2.9, stamped",
         "Authenticated attributes:\n\tSigning time: Dec 11 05:08:50 2026 GMT\n\n"
         "Countersignatures:\n\tTimestamp time: Dec 11 05:08:51 2026 GMT\n"
         "\tSigning time: Dec 11 05:08:50 2026 GMT\nSignature verification: ok\n",
         "Dec 11 05:08:51 2026 GMT"},
        {"2.5, stamped",
         "Authenticated attributes:\n\tSigning time: Dec 11 05:08:50 2026 GMT\n\n"
         "The signature is timestamped: Dec 11 05:08:52 2026 GMT\nHash Algorithm: sha256\n"
         "Signature verification: ok\n",
         "Dec 11 05:08:52 2026 GMT"},
        {"2.5, not stamped",
         "Authenticated attributes:\n\tSigning time: Dec 11 05:08:50 2026 GMT\n\n"
         "Timestamp is not available\nSignature verification: ok\n",
         ""},
        {"no output", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VerifiedTimeStamp(c.output), c.stamp);
    }
}
