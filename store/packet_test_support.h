#pragma once

#include <string>

#include "data_packet.h"
#include "marks_schema.h"

// Field descriptors and rows of the two table files, as the map application writes them.
namespace packet_test {

inline TStoredField Field(std::string name, std::string type, std::string subtype = {}, int width = 0,
                          bool readOnly = false)
{
    return StoredField(std::move(name), std::move(type), std::move(subtype), width, readOnly);
}

inline TPacketContent CategoriesContent()
{
    TPacketContent c = EmptyCatsPacket();
    c.AutoIncValue = 2;
    return c;
}

inline TPacketContent MarksContent()
{
    TPacketContent c = EmptyMarksPacket();
    c.AutoIncValue = 8;
    return c;
}

inline const char* kMarksFields =
    "<FIELD attrname=\"id\" fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\"/>"
    "<FIELD attrname=\"name\" fieldtype=\"string\" WIDTH=\"255\"/>"
    "<FIELD attrname=\"descr\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\"/>"
    "<FIELD attrname=\"scale1\" fieldtype=\"i4\"/>"
    "<FIELD attrname=\"scale2\" fieldtype=\"i4\"/>"
    "<FIELD attrname=\"lonlatarr\" fieldtype=\"bin.hex\" SUBTYPE=\"Binary\"/>"
    "<FIELD attrname=\"lonL\" fieldtype=\"r8\"/>"
    "<FIELD attrname=\"latT\" fieldtype=\"r8\"/>"
    "<FIELD attrname=\"LonR\" fieldtype=\"r8\"/>"
    "<FIELD attrname=\"LatB\" fieldtype=\"r8\"/>"
    "<FIELD attrname=\"color1\" fieldtype=\"i4\"/>"
    "<FIELD attrname=\"color2\" fieldtype=\"i4\"/>"
    "<FIELD attrname=\"visible\" fieldtype=\"boolean\"/>"
    "<FIELD attrname=\"picname\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"categoryid\" fieldtype=\"i4\"/>";

inline const char* kCategoriesFields =
    "<FIELD attrname=\"id\" fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\"/>"
    "<FIELD attrname=\"name\" fieldtype=\"string\" WIDTH=\"256\"/>"
    "<FIELD attrname=\"visible\" fieldtype=\"boolean\"/>"
    "<FIELD attrname=\"AfterScale\" fieldtype=\"i2\"/>"
    "<FIELD attrname=\"BeforeScale\" fieldtype=\"i2\"/>";

inline std::string Packet(const std::string& fields, const std::string& params, const std::string& rows)
{
    return "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" + fields +
           "</FIELDS>" + params + "</METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

} // namespace packet_test
