#include "FuzzSupport.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace fuzzsupport {

void fail(const char *what)
{
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

void startApplication(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives as long as the process: libFuzzer never returns from its loop.
    new QApplication(*argc, *argv);
}

} // namespace fuzzsupport
