// The shared online settings: product texts, the server's resource addresses and the probe hosts.
#pragma once

#include <string>
#include <vector>

namespace twinspotter {

// UTF-8 texts, filled once at start-up by fillOnlineSettings(); only latestVersion changes afterwards.
extern std::string productName;
extern std::string productVersion;
extern std::string latestVersion; ///< the version text last fetched from versionUrl; empty until then
extern std::string updaterUrl;    ///< carries "<timestamp>"
extern std::string infoUrl;       ///< carries "<timestamp>"
extern std::string versionUrl;    ///< carries "<timestamp>"
extern std::string contactUsUrl;  ///< ends in "?ts=" with no placeholder
extern std::string appCode;       ///< always empty

/// Built-in server address and probe hosts, used when the environment does not replace them.
inline constexpr const char* kDefaultServerAddress = "http://www.quillnet.example";
inline constexpr const char* kDefaultProbeHosts[3] = {"www.google.com", "www.wikipedia.org", "www.debian.org"};

/// Path of the contact script, followed directly by its query.
inline constexpr const char* kContactScriptPath = "/controlcenter/contact_quillnet.php";

/// Scheme, host and (when given) port of the maker's web server, without a trailing "/":
/// TWINSPOTTER_SERVER when set and not empty, else kDefaultServerAddress.
std::string serverAddress();

/// Host name of the maker's web server (for "<Could not contact " + host + " site>").
std::string serverHostName();

/// The web site's root address: scheme and host (and port when the environment names one), without the closing
/// "/". The link label shows it followed by "/"; "Open" gets it as it is.
std::string siteRootAddress();

/// The public hosts the connectivity probe tries, in order: the comma-separated TWINSPOTTER_PROBE_HOSTS when set
/// and not empty, else kDefaultProbeHosts.
std::vector<std::string> probeHosts();

/// Sets every shared online setting to its start-up value; latestVersion and appCode become empty.
void fillOnlineSettings();

} // namespace twinspotter
