#include "fleet.h"

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

// <name>content</name>, built by appending: GCC 12 warns falsely about
// "literal" + std::string&& chains when optimising.
static std::string plain(const std::string& name, const std::string& content)
{
    std::string out;
    out.append("<").append(name).append(">").append(content).append("</").append(name).append(">");
    return out;
}

// The element under the camera's prefix for WS-Discovery.
static std::string element(const sim_camera& c, const std::string& local, const std::string& content)
{
    return plain(c.prefix.empty() ? local : c.prefix + ":" + local, content);
}

static std::string envelope(const sim_camera& c, const std::string& action, const std::string& relates_to,
                            const std::string& body)
{
    std::string ns_decl = (c.prefix.empty() ? "xmlns" : "xmlns:" + c.prefix) + "=\"" + discovery_ns + "\"";
    std::string header = plain("wsa:MessageID", "uuid:" + fresh_uuid());
    if (!relates_to.empty())
        header += plain("wsa:RelatesTo", relates_to);
    header += plain("wsa:To", "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous");
    header += plain("wsa:Action", discovery_ns + "/" + action);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"";
    out.append(soap_ns).append("\" xmlns:wsa=\"").append(addressing_ns).append("\" ").append(ns_decl);
    out.append(" xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"");
    out.append(" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">\n");
    out.append(plain("SOAP-ENV:Header", header)).append("\n");
    out.append(plain("SOAP-ENV:Body", body)).append("</SOAP-ENV:Envelope>\n");
    return out;
}

static std::string endpoint_reference(const sim_camera& c)
{
    return plain("wsa:EndpointReference", plain("wsa:Address", "urn:uuid:" + c.name));
}

static std::string match_body(const sim_camera& c)
{
    std::string inner = endpoint_reference(c) + element(c, "Types", "dn:NetworkVideoTransmitter tds:Device");
    if (c.scopes)
        inner += element(c, "Scopes", *c.scopes);
    if (c.xaddrs)
        inner += element(c, "XAddrs", *c.xaddrs);
    inner += element(c, "MetadataVersion", "1");
    return element(c, "ProbeMatch", inner);
}

std::string probe_match_text(const sim_camera& c, const std::string& relates_to)
{
    if (c.raw_reply)
        return *c.raw_reply;
    return envelope(c, "ProbeMatches", relates_to, element(c, "ProbeMatches", match_body(c)));
}

std::string unprompted_text(const sim_camera& c, const std::string& kind)
{
    if (kind == "empty")
        return "";
    if (kind == "hello")
        return envelope(c, "Hello", "", element(c, "Hello", match_body(c)));
    if (kind == "not_probe_match")
        return envelope(c, "ResolveMatches", "",
                        element(c, "ResolveMatches", element(c, "ResolveMatch", endpoint_reference(c))));
    // oversized: a ProbeMatch far larger than a receive buffer
    sim_camera big = c;
    big.scopes = (c.scopes ? *c.scopes + " " : std::string()) + std::string(16000, 'S');
    return probe_match_text(big, "");
}
