// Running out of memory on the worker is an error the user is told of, not a
// crash: vantor under an address-space limit that its check cannot fit in.
#include <gtest/gtest.h>

#include <cstdlib>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "fixtures/PluginBuilder.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

using namespace vantor::fixtures;

TEST(OutOfMemory, ACheckTooLargeForMemoryEndsWithAMessageAndStatusOne) {
#if defined(_WIN32)
    GTEST_SKIP() << "the address-space limit is set with bash's ulimit, which Windows lacks";
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "address-space limits and sanitizers do not mix: their shadow memory needs the space";
#else
    // 100 plugins that change the same 5,000 records: 25 million conflict
    // rows, some 600 MB, from 15 MB of plugins.
    CTempDir dir;
    std::string plugins;
    for (int p = 0; p < 100; ++p) {
        CPluginBuilder b;
        b.Header();
        for (int i = 0; i < 5000; ++i) b.Record("MISC", {Name("item" + std::to_string(i)), Sub("DATA", I32(p))});
        const std::string name = "P" + std::to_string(p) + ".esp";
        ASSERT_TRUE(b.Write(dir / name));
        plugins += " " + name;
    }
    const std::string command = "cd '" + dir.Path() + "' && ulimit -v 480000 && '" VANTOR_CLI "' check --conflicts" +
                                " --no-masters --quiet --format csv --install-dir . --settings v.ini" + plugins +
                                " </dev/null 2>err.txt >/dev/null";
    const int status = std::system(("bash -c \"" + command + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "vantor was killed";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string err;
    vantor::platform::ReadWholeFile(dir / "err.txt", err);
    EXPECT_NE(err.find("Not enough memory to check the plugins."), std::string::npos) << err;
#endif
}
