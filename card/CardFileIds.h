#pragma once

#include <QtGlobal>

// Identifiers of the elementary files that the code names on its own.
namespace CardFileId {

constexpr quint16 icc = 0x0002;
constexpr quint16 ic = 0x0005;
constexpr quint16 applicationIdentification = 0x0501;
constexpr quint16 calibrationsSinceDownload = 0x0509;
constexpr quint16 lastCardDownload = 0x050E;
constexpr quint16 identification = 0x0520;
constexpr quint16 drivingLicence = 0x0521;
constexpr quint16 cardCertificate = 0xC100;
constexpr quint16 caCertificate = 0xC108;
constexpr quint16 cardCertificateGost = 0xC200;
constexpr quint16 caCertificateGost = 0xC208;

} // namespace CardFileId
