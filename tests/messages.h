// WS-Discovery messages as cameras send them, for the response tests.
#pragma once

#include <string>

inline const std::string discovery_ns = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
inline const std::string scope_root = "onvif://www.onvif.org/";

// A ProbeMatches answer; an empty xaddrs or scopes leaves the element out.
inline std::string probe_match(const std::string& scopes, const std::string& xaddrs = "",
                               const std::string& prefix = "d")
{
    std::string p = prefix + ":";
    std::string m =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\""
        " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" xmlns:" + prefix +
        "=\"" + discovery_ns + "\"><SOAP-ENV:Header>"
        "<wsa:Action>" + discovery_ns + "/ProbeMatches</wsa:Action></SOAP-ENV:Header>"
        "<SOAP-ENV:Body><" + p + "ProbeMatches><" + p + "ProbeMatch>"
        "<wsa:EndpointReference><wsa:Address>urn:uuid:1</wsa:Address></wsa:EndpointReference>"
        "<" + p + "Types>dn:NetworkVideoTransmitter</" + p + "Types>";
    if (!scopes.empty())
        m += "<" + p + "Scopes>" + scopes + "</" + p + "Scopes>";
    if (!xaddrs.empty())
        m += "<" + p + "XAddrs>" + xaddrs + "</" + p + "XAddrs>";
    m += "<" + p + "MetadataVersion>1</" + p + "MetadataVersion></" + p + "ProbeMatch></" + p +
         "ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    return m;
}

inline std::string hello()
{
    return "<SOAP-ENV:Envelope xmlns:d=\"" + discovery_ns + "\"><SOAP-ENV:Body><d:Hello>"
           "<d:Scopes>" + scope_root + "hardware/X</d:Scopes></d:Hello></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}
