// Draws what the stand-in map API holds (lines, areas, the marker) into the map's
// element, so the map panel shows its work on a machine without the map service.
(function () {
  function esc(text) {
    return String(text).replace(/[&<>"]/g, function (c) { return '&#' + c.charCodeAt(0) + ';'; });
  }
  function draw() {
    var map = fakeMaps.map;
    if (!map || !map.element) return;
    var el = map.element, w = el.clientWidth || 400, h = el.clientHeight || 300;
    var shown = fakeMaps.created.filter(function (o) {
      return (o.kind == 'Polyline' || o.kind == 'Polygon' || o.kind == 'Marker') && o.map && o.values.visible !== false;
    });
    var south, west, north, east;
    var fitted = fakeMaps.fitted[fakeMaps.fitted.length - 1];
    if (fitted) {
      south = fitted.getSouthWest().lat(); west = fitted.getSouthWest().lng();
      north = fitted.getNorthEast().lat(); east = fitted.getNorthEast().lng();
    } else {
      var c = map.values.center || new google.maps.LatLng(0, 0), half = 180 / Math.pow(2, map.values.zoom || 8);
      south = c.lat() - half; north = c.lat() + half; west = c.lng() - half; east = c.lng() + half;
    }
    var dy = (north - south) || 1, dx = (east - west) || 1;
    function x(p) { return 30 + (p.lng() - west) / dx * (w - 60); }
    function y(p) { return 30 + (north - p.lat()) / dy * (h - 60); }
    function points(path) { return path.map(function (p) { return x(p).toFixed(1) + ',' + y(p).toFixed(1); }).join(' '); }
    var svg = '<svg xmlns="http://www.w3.org/2000/svg" width="' + w + '" height="' + h + '" style="display:block">' +
      '<rect width="100%" height="100%" fill="#EFF0EE"/>';
    for (var i = 1; i < 8; i++)
      svg += '<line x1="' + (w * i / 8) + '" y1="0" x2="' + (w * i / 8) + '" y2="' + h + '" stroke="#d8dad6"/>' +
             '<line x1="0" y1="' + (h * i / 8) + '" x2="' + w + '" y2="' + (h * i / 8) + '" stroke="#d8dad6"/>';
    shown.forEach(function (o) {
      var v = o.values;
      if (o.kind == 'Polygon' && v.paths && v.paths.length)
        svg += '<polygon points="' + points(v.paths) + '" fill="' + v.fillColor + '" fill-opacity="' + v.fillOpacity +
               '" stroke="' + v.strokeColor + '" stroke-width="' + v.strokeWeight + '"/>';
      if (o.kind == 'Polyline' && v.path && v.path.length)
        svg += '<polyline points="' + points(v.path) + '" fill="none" stroke="' + v.strokeColor +
               '" stroke-width="' + v.strokeWeight + '"/>';
      if (o.kind == 'Marker' && v.position) {
        var px = x(v.position), py = y(v.position);
        svg += '<path d="M' + px + ',' + py + ' l-7,-14 a8,8 0 1,1 14,0 z" fill="#EA4335" stroke="#A52714"/>' +
               '<text x="' + (px + 10) + '" y="' + (py - 12) + '" font-family="sans-serif" font-size="12">' +
               esc(v.title || '') + '</text>';
      }
    });
    svg += '<text x="8" y="' + (h - 8) + '" font-family="sans-serif" font-size="11" fill="#777">' +
           'offline stand-in for the map service</text></svg>';
    el.innerHTML = svg;
  }
  setInterval(draw, 200);
})();
