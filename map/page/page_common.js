// What both map pages share: the key that would reload the page, the list of the
// program's objects on the map, and the hidden forms' fields through which results
// and events go back to the program. Each page defines TakeOffMap for its map.

// F5 would reload the page and lose the map: turn the key into one nothing handles.
document.onkeydown = function (e) {
  e = e || window.event;
  if (e.keyCode == 116) {
    try { e.keyCode = 505; } catch (ignored) { }
    if (e.preventDefault) e.preventDefault();
    e.returnValue = false;
    return false;
  }
  return true;
};
document.documentElement.style.overflowY = 'hidden';

var map = null;
var linkedCompList = [];
var panorama = null;
var directionsDisplay = null;
var kmlLayer = null;
var trafficLayer = null;
var transitLayer = null;
var bikeLayer = null;
var weatherLayer = null;
var cloudLayer = null;
var panoramioLayer = null;
var drawingManager = null;

// ---- Forms: results and events go back to the program through hidden fields.

function SetField(form, field, value) {
  document.forms[form].elements[field].value = value;
}

function SetMapIsNull(isNull) {
  SetField('mapdata', 'mapisnull', isNull ? '1' : '0');
}

// ---- Texts.

function ReplaceString(Source, OldPattern, NewPattern) {
  return String(Source).split(OldPattern).join(NewPattern);
}

function RestoreApostrophes(text) {
  return ReplaceString(text, '.#%#:', "'");
}

// ---- Objects on the map.

function IndexOf(Id, ZIndex) {
  SetField('errordata', 'errorCode', '0');
  SetMapIsNull(false);
  if (map == null) {
    SetMapIsNull(true);
    return -1;
  }
  for (var i = 0; i < linkedCompList.length; i++)
    if (linkedCompList[i].TolmId == Id && linkedCompList[i].TolmZIndex == ZIndex) return i;
  SetField('errordata', 'errorCode', '1');
  return -1;
}

function DeleteObject(Id, ZIndex) {
  SetMapIsNull(false);
  if (map == null) {
    SetMapIsNull(true);
    return;
  }
  var i = IndexOf(Id, ZIndex);
  if (i < 0) return;
  TakeOffMap(linkedCompList[i]);
  linkedCompList.splice(i, 1);
}

// ---- A click on one of the marks shown at once.

function MarksClicked(obj) {
  SetField('eventsMarks', 'markKey', String(obj.marksKey));
  SetField('eventsMarks', 'click', '1');
  SetField('eventsMarks', 'eventfired', '1');
}

// The marks of Show On Map, read from their JSON text once the marks shown before are
// cleared (each page's MarksClear); null when there is no map. The text holds icons
// the page does not have yet by name ({u: a data address, w, h}), and marks as [key,
// name, shape (0 point, 1 line, 2 area), line colour, fill colour, icon name, [lat,
// lng, lat, lng, ...]], coordinates in ten-millionths of a degree, each point after
// the first as its difference from the one before.
function MarksRead(Text) {
  SetMapIsNull(false);
  if (!map) {
    SetMapIsNull(true);
    return null;
  }
  MarksClear();
  return JSON.parse(Text);
}
