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
