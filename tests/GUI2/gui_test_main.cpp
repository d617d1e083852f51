// The wizard tests' main: an offscreen application and private XDG folders, so that no
// test reads or writes the user's settings.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QApplication>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    // Offscreen always; a screen of another size may be given with it
    // ("offscreen:configfile=FILE").
    if (!qgetenv("QT_QPA_PLATFORM").startsWith("offscreen"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    char dir[] = "/tmp/torvane-gui-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string root = dir;
    const std::string runtime = root + "/runtime";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("HOME", (root + "/home").c_str(), 1);
    mkdir((root + "/home").c_str(), 0700);
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::filesystem::remove_all(root);
    return result;
}
