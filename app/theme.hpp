#pragma once

// The type styles and colours the views share, derived from the platform's font and palette so that
// they follow light and dark themes.

#include <QColor>
#include <QFont>
#include <QPalette>

namespace tamrik {

/// Text of lesser importance: hints, serial numbers, placeholders.
QColor secondaryTextColor(const QPalette& palette);
/// The grey behind the selected place's row.
QColor selectionGrey(const QPalette& palette);
QColor badgeGreen();
QColor badgeOrange();

QFont headlineFont(const QFont& body);         ///< panel titles: body size, semibold
QFont sectionHeaderFont(const QFont& body);    ///< list section headers: a little smaller, semibold
QFont captionFont(const QFont& body);          ///< second lines: a little smaller than the body
QFont smallestCaptionFont(const QFont& body);  ///< badges
QFont secondTitleFont(const QFont& body);      ///< empty-state headings: larger, semibold
QFont largeTitleFont(const QFont& body);       ///< placeholder symbols are drawn at this size

}  // namespace tamrik
