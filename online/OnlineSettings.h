// The shared online settings: product texts, the server's resource addresses and the probe hosts.
#pragma once

#include <string>
#include <vector>

namespace twinspotter {

// UTF-8 texts, filled once at start-up by FillOnlineSettings(); only LatestVersion changes afterwards.
extern std::string ProductName;
extern std::string ProductVersion;
extern std::string LatestVersion; ///< the version text last fetched from VersionUrl; empty until then
extern std::string UpdaterUrl;    ///< carries "<timestamp>"
extern std::string InfoUrl;       ///< carries "<timestamp>"
extern std::string VersionUrl;    ///< carries "<timestamp>"
extern std::string ContactUsUrl;  ///< ends in "?ts=" with no placeholder
extern std::string AppCode;       ///< always empty

/// Built-in server address and probe hosts, used when the environment does not replace them.
inline constexpr const char* kDefaultServerAddress = "http://www.quillnet.example";
inline constexpr const char* kDefaultProbeHosts[3] = {"www.google.com", "www.wikipedia.org", "www.debian.org"};

/// Path of the contact script, followed directly by its query.
inline constexpr const char* kContactScriptPath = "/controlcenter/contact_quillnet.php";

/// Scheme, host and (when given) port of the maker's web server, without a trailing "/":
/// TWINSPOTTER_SERVER when set and not empty, else kDefaultServerAddress.
std::string ServerAddress();

/// Host name of the maker's web server (for "<Could not contact " + host + " site>").
std::string ServerHostName();

/// The web site's root address: scheme and host (and port when the environment names one), without the closing
/// "/". The link label shows it followed by "/"; "Open" gets it as it is.
std::string SiteRootAddress();

/// The public hosts the connectivity probe tries, in order: the comma-separated TWINSPOTTER_PROBE_HOSTS when set
/// and not empty, else kDefaultProbeHosts.
std::vector<std::string> ProbeHosts();

/// Sets every shared online setting to its start-up value; LatestVersion and AppCode become empty.
void FillOnlineSettings();

} // namespace twinspotter
