#pragma once

#include <QByteArray>

namespace launcher {

// Decides whether a string table's bytes may be handed to the XML query. The query's parser
// costs far more than the size of some documents: entities that expand to megabytes, and start
// tags with thousands of attributes or namespace declarations, whose checks grow with the square
// of their number. None of that belongs in a string table, so such a document is refused before
// it is parsed. The check sees the text as the parser will (same encoding detection, same
// declared encoding) and costs time in proportion to the document's size.
//
// Refused: any document type declaration other than the bare "<!DOCTYPE name>" (entity
// declarations and external subsets live there); a start tag with more than
// maxTableAttributes attributes; more than maxTableNamespaceDeclarations namespace declarations
// in the whole document; a declared encoding that Qt does not know; markup that cannot be
// followed (an unterminated comment, tag or section), which the parser would refuse anyway.
bool isTameTable(const QByteArray& bytes);

constexpr int maxTableAttributes = 32;
constexpr int maxTableNamespaceDeclarations = 32;

} // namespace launcher
