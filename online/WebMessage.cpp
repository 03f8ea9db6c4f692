// The message sender and its query-value encoding.
#include "online/WebMessage.h"

#include "online/OnlineHost.h"
#include "online/OnlineSettings.h"
#include "online/WebText.h"

#include <cstring>

namespace twinspotter {

std::string encodeQueryValue(const std::string& text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0)
            break;
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            std::strchr("*@._-$!'()", byte)) {
            out += c;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

std::string webMessageAddress(const std::string& type, const std::string& content, const std::string& email)
{
    return serverAddress() + kContactScriptPath + "?application=" + encodeQueryValue(productName) +
           "&version=" + encodeQueryValue(productVersion) + "&type=" + encodeQueryValue(type) +
           "&content=" + encodeQueryValue(content) + "&email=" + encodeQueryValue(email) +
           "&appcode=" + encodeQueryValue(appCode);
}

void sendWebMessage(const std::string& type, const std::string& content, const std::string& email, bool showReply)
{
    // No encoded value can hold "<" or ">", so the timestamp step of fetchWebText leaves this address as built.
    const std::string reply = fetchWebText(webMessageAddress(type, content, email), "admin", "731905");
    if (showReply)
        currentOnlineHost().showMessage(reply);
}

} // namespace twinspotter
