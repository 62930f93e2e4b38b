#pragma once
// Addresses and promotional texts of the maker, kept in one place. The addresses
// are placeholders under the reserved .invalid domain until real pages exist.

#include <QString>

namespace editor::branding {

inline const QString kProductName = QStringLiteral("Quillmark");
inline const QString kMakerName = QStringLiteral("Orlenway");

inline const QString kCompanyPage = QStringLiteral("https://orlenway.invalid/");
inline const QString kSupportPage = QStringLiteral("https://quillmark.invalid/support/");
inline const QString kPromotePage = QStringLiteral("https://orlenway.invalid/products/");
inline const QString kMorePage = QStringLiteral("https://orlenway.invalid/services/");
inline const QString kBrandPage = QStringLiteral("https://quillmark.invalid/index.php#brand");

inline const QString kPromoteTooltip = QStringLiteral("Try our other desktop tools for software makers.");
inline const QString kMoreTooltip = QStringLiteral("Let us design and host your product's web site.");
inline const QString kUrlMessage =
    QStringLiteral("Ready-made web applications for your business: visit orlenway.invalid");

inline const QString kGeneratorCredit = QStringLiteral("Quillmark from Orlenway");
inline const QString kMetaPromotion =
    QStringLiteral("Sales pages for software products, made with Quillmark");

} // namespace editor::branding
