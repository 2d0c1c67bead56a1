#pragma once
// The test classes of this program, each run by main().
int RunTinyXmlPluginTests(int argc, char **argv);
int RunServerInfoPluginTests(int argc, char **argv);
int RunTemplateTests(int argc, char **argv);
