// Child process of tst_configsavekill: saves two configurations in turn over
// one file until it is killed. Usage: configsavekillchild <file>. Prints
// "ready" once its first save is in, so the parent kills it while it saves,
// not while it starts up.

#include "config/configfile.h"
#include "configsavekillimages.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: configsavekillchild <file>\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const std::array<QByteArray, 2> images = ConfigSaveKillImages();
    for (long i = 0;; ++i) {
        const Result<> saved = WriteConfigFile(path, images[size_t(i % 2)]);
        if (!saved) {
            std::fprintf(stderr, "%s\n", qPrintable(saved.error()));
            return 1;
        }
        if (i == 0) {
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        }
    }
}
