// The quillon tool's commands; each returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace quillon::cli {

int RunDemo(const std::string& exchange_code);
int RunCertShow(const std::string& path, bool raw);
// argv[0] is the card subcommand (list, read-cert, write-cert).
int RunCard(int argc, char** argv);
int RunKeyShow(std::vector<std::string> args);
int RunKeyCheck(std::vector<std::string> args);
int RunKeyReencrypt(std::vector<std::string> args);
int RunKeypair(const std::string& template_path);
int RunSessionKey(std::vector<std::string> args);

}  // namespace quillon::cli
