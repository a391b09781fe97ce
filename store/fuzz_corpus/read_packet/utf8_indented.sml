<?xml version="1.0" encoding="UTF-8"?>
<DATAPACKET>
 <!-- c -->
 <METADATA>
  <FIELDS><FIELD fieldname="a b" attrname="a_b" fieldtype="string"><PARAM Name="X" Value="1" Type="i4" Roundtrip="True"/></FIELD></FIELDS>
  <PARAMS><PARAM Name="DISABLE_EDITS" Value="TRUE" Type="boolean"/></PARAMS>
 </METADATA>
 <ROWDATA><ROW a_b="Ж😀"/></ROWDATA>
</DATAPACKET>
