// Page fetcher: the raw bytes of one web page, fetched synchronously.
#pragma once

#include <string>

// Fetches Url (handed to the internet client unchanged) with the agent
// "Internet Explorer 6.0". When IncludeHeaders is true the raw header block
// of the final response (status line, header lines, each ended by CR LF, then
// an empty line) comes first. Page is assigned only when the address could be
// opened; otherwise it keeps what the caller gave. No status check: a 404
// returns its body.
void GetWebPage(const std::string& Url, bool IncludeHeaders, std::string& Page);

// The same, and ContentType takes the final response's Content-Type value
// (empty when the server sent none) whenever Page is assigned.
void GetWebPage(const std::string& Url, bool IncludeHeaders, std::string& Page,
                std::string& ContentType);
