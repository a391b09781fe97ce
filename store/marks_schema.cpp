#include "marks_schema.h"

TTableSchema CatsSchema()
{
    return {"CDCats",
            {
                {"id", TFieldClass::AutoInc, 0, true},
                {"name", TFieldClass::String, 256},
                {"visible", TFieldClass::Boolean},
                {"AfterScale", TFieldClass::Smallint},
                {"BeforeScale", TFieldClass::Smallint},
            },
            "name;id"};
}

TTableSchema MarksSchema()
{
    return {"CDMarks",
            {
                {"id", TFieldClass::AutoInc, 0, true},
                {"name", TFieldClass::String, 255},
                {"descr", TFieldClass::Memo},
                {"scale1", TFieldClass::Integer},
                {"scale2", TFieldClass::Integer},
                {"lonlatarr", TFieldClass::Blob},
                {"lonL", TFieldClass::Float},
                {"latT", TFieldClass::Float},
                {"LonR", TFieldClass::Float},
                {"LatB", TFieldClass::Float},
                {"color1", TFieldClass::Integer},
                {"color2", TFieldClass::Integer},
                {"visible", TFieldClass::Boolean},
                {"picname", TFieldClass::String, 20},
                {"categoryid", TFieldClass::Integer},
            },
            "categoryid;scale1;name"};
}

TStoredField StoredField(std::string name, std::string typeName, std::string subtype, int width, bool readOnly)
{
    TStoredField f;
    f.Name = std::move(name);
    f.TypeName = std::move(typeName);
    f.ReadOnly = readOnly;
    if (!subtype.empty())
        f.Params.push_back({"SUBTYPE", "string", std::move(subtype), false});
    if (width)
        f.Params.push_back({"WIDTH", "i2", std::to_string(width), false});
    return f;
}

TPacketContent EmptyCatsPacket()
{
    TPacketContent c;
    c.Fields = {StoredField("id", "i4", "Autoinc", 0, true), StoredField("name", "string", {}, 256),
                StoredField("visible", "boolean"), StoredField("AfterScale", "i2"), StoredField("BeforeScale", "i2")};
    return c;
}

TPacketContent EmptyMarksPacket()
{
    TPacketContent c;
    c.Fields = {StoredField("id", "i4", "Autoinc", 0, true), StoredField("name", "string", {}, 255),
                StoredField("descr", "bin.hex", "Text"), StoredField("scale1", "i4"), StoredField("scale2", "i4"),
                StoredField("lonlatarr", "bin.hex", "Binary"), StoredField("lonL", "r8"), StoredField("latT", "r8"),
                StoredField("LonR", "r8"), StoredField("LatB", "r8"), StoredField("color1", "i4"),
                StoredField("color2", "i4"), StoredField("visible", "boolean"),
                StoredField("picname", "string", {}, 20), StoredField("categoryid", "i4")};
    return c;
}
