#include "PluginTests.h"

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    int failed = 0;
    failed += RunTinyXmlPluginTests(argc, argv);
    failed += RunServerInfoPluginTests(argc, argv);
    failed += RunTemplateTests(argc, argv);
    return failed;
}
