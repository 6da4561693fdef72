#include "replies.h"

#include <uuid/uuid.h>

static const std::string soap_ns = "http://www.w3.org/2003/05/soap-envelope";
static const std::string addressing_ns = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
static const std::string discovery_ns = "http://schemas.xmlsoap.org/ws/2005/04/discovery";

static std::string fresh_uuid()
{
    uuid_t u;
    uuid_generate(u);
    char text[37];
    uuid_unparse_lower(u, text);
    return text;
}

// The element's qualified name under the camera's prefix.
static std::string q(const sim_camera& c, const std::string& local)
{
    return c.prefix.empty() ? local : c.prefix + ":" + local;
}

static std::string envelope(const sim_camera& c, const std::string& action, const std::string& relates_to,
                            const std::string& body)
{
    std::string ns_decl = c.prefix.empty() ? "xmlns=\"" + discovery_ns + "\""
                                           : "xmlns:" + c.prefix + "=\"" + discovery_ns + "\"";
    std::string header = "<wsa:MessageID>uuid:" + fresh_uuid() + "</wsa:MessageID>";
    if (!relates_to.empty())
        header += "<wsa:RelatesTo>" + relates_to + "</wsa:RelatesTo>";
    header += "<wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>"
              "<wsa:Action>" + discovery_ns + "/" + action + "</wsa:Action>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" + soap_ns + "\" xmlns:wsa=\"" + addressing_ns + "\" " +
           ns_decl + " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\""
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">\n"
           "<SOAP-ENV:Header>" + header + "</SOAP-ENV:Header>\n"
           "<SOAP-ENV:Body>" + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
}

static std::string match_body(const sim_camera& c)
{
    std::string body = "<" + q(c, "ProbeMatch") + "><wsa:EndpointReference><wsa:Address>urn:uuid:" +
                       c.name + "</wsa:Address></wsa:EndpointReference>"
                       "<" + q(c, "Types") + ">dn:NetworkVideoTransmitter tds:Device</" + q(c, "Types") + ">";
    if (c.scopes)
        body += "<" + q(c, "Scopes") + ">" + *c.scopes + "</" + q(c, "Scopes") + ">";
    if (c.xaddrs)
        body += "<" + q(c, "XAddrs") + ">" + *c.xaddrs + "</" + q(c, "XAddrs") + ">";
    body += "<" + q(c, "MetadataVersion") + ">1</" + q(c, "MetadataVersion") + "></" + q(c, "ProbeMatch") + ">";
    return body;
}

std::string probe_match_text(const sim_camera& c, const std::string& relates_to)
{
    if (c.raw_reply)
        return *c.raw_reply;
    return envelope(c, "ProbeMatches", relates_to,
                    "<" + q(c, "ProbeMatches") + ">" + match_body(c) + "</" + q(c, "ProbeMatches") + ">");
}

std::string unprompted_text(const sim_camera& c, const std::string& kind)
{
    if (kind == "empty")
        return "";
    if (kind == "hello")
        return envelope(c, "Hello", "",
                        "<" + q(c, "Hello") + ">" + match_body(c).substr(0) + "</" + q(c, "Hello") + ">");
    if (kind == "not_probe_match")
        return envelope(c, "ResolveMatches", "",
                        "<" + q(c, "ResolveMatches") + "><" + q(c, "ResolveMatch") + "><wsa:EndpointReference>"
                        "<wsa:Address>urn:uuid:" + c.name + "</wsa:Address></wsa:EndpointReference>"
                        "</" + q(c, "ResolveMatch") + "></" + q(c, "ResolveMatches") + ">");
    // oversized: a ProbeMatch far larger than a receive buffer
    sim_camera big = c;
    big.scopes = (c.scopes ? *c.scopes + " " : std::string()) + std::string(16000, 'S');
    return probe_match_text(big, "");
}
