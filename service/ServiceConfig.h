// Where the school's service lives and which extra CA the transport trusts. Each value
// comes from its environment variable on first use (TAVO_API_ORIGIN, TAVO_SITE_ORIGIN,
// TAVO_CA_FILE) unless a setter (the command line, tests, the demo) ran first.
// Callable from any thread.
#pragma once

#include <string>
#include <string_view>

// Origin of the web service ("https://host[:port]", no trailing "/"); endpoint paths are
// appended to it.
std::string GetApiOrigin();
void SetApiOrigin(const std::string& origin);

// Origin of the school's web site (question bank, buy page, documents).
std::string GetSiteOrigin();
void SetSiteOrigin(const std::string& origin);

// A PEM file of certificates trusted in addition to the system's; empty for none.
std::string GetExtraCaFile();
void SetExtraCaFile(const std::string& path);

// Applies one command-line switch "--api-origin=URL", "--site-origin=URL" or
// "--ca-file=PATH" (the command line wins over the environment); false for any other text.
bool ApplyServiceOption(std::string_view argument);
