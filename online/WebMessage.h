// The message sender: user messages and the program's own reports, packed into the contact script's query.
#pragma once

#include <string>

namespace twinspotter {

/// Query-value encoding: letters, digits and * @ . _ - $ ! ' ( ) stay, a space becomes "+", every other byte
/// (control bytes and bytes of 128 and above included) becomes "%" and two upper-case hex digits. Stops at the
/// first zero byte.
std::string encodeQueryValue(const std::string& text);

/// The contact script's full address: server, "/controlcenter/contact_quillnet.php?application=" and the encoded
/// values of productName, productVersion, type, content, email and appCode, ending in "&appcode=".
std::string webMessageAddress(const std::string& type, const std::string& content, const std::string& email);

/// Sends the message with fetchWebText and the service credentials admin/731905; when showReply is true, the reply
/// goes unchanged to the host's showMessage. A failed request propagates (WebError) and shows nothing.
/// type, content and email are UTF-8.
void sendWebMessage(const std::string& type, const std::string& content, const std::string& email, bool showReply);

} // namespace twinspotter
