// A small stand-in for the online map API: just the classes, constants and events
// the map page uses. It records what the page asks of it in window.fakeMaps, and
// like today's API it has no weather or photo-sharing libraries (a test can add
// them with fakeMaps.addLayerLibraries()).
(function () {
  var fake = { created: [], fitted: [], mapTypes: {} };
  window.fakeMaps = fake;

  function Base(options) {
    this.values = {};
    this.optionCalls = [];
    this.listeners = {};
    this.map = null;
    fake.created.push(this);
    if (options) this.setOptions(options);
  }
  Base.prototype.get = function (name) { return this.values[name]; };
  Base.prototype.set = function (name, value) { this.values[name] = value; };
  Base.prototype.setOptions = function (options) {
    this.optionCalls.push(Object.keys(options).sort().join(','));
    for (var k in options) {
      if (k == 'map') this.setMap(options[k]);
      else this.values[k] = options[k];
    }
  };
  Base.prototype.setMap = function (map) { this.map = map; };
  Base.prototype.getMap = function () { return this.map; };

  function Kind(name) {
    var kind = function (options) { this.kind = name; Base.call(this, options); };
    kind.prototype = Object.create(Base.prototype);
    return kind;
  }

  function LatLng(lat, lng) { this.latValue = Number(lat); this.lngValue = Number(lng); }
  LatLng.prototype.lat = function () { return this.latValue; };
  LatLng.prototype.lng = function () { return this.lngValue; };

  function LatLngBounds(sw, ne) { this.sw = sw; this.ne = ne; }
  LatLngBounds.prototype.extend = function (p) {
    this.sw = new LatLng(Math.min(this.sw.lat(), p.lat()), Math.min(this.sw.lng(), p.lng()));
    this.ne = new LatLng(Math.max(this.ne.lat(), p.lat()), Math.max(this.ne.lng(), p.lng()));
    return this;
  };
  LatLngBounds.prototype.getSouthWest = function () { return this.sw; };
  LatLngBounds.prototype.getNorthEast = function () { return this.ne; };

  var Map = Kind('Map');
  var BaseMap = Map;
  Map = function (element, options) {
    BaseMap.call(this, options);
    this.element = element;
    this.options = options;
    this.mapTypes = { set: function (id, type) { fake.mapTypes[id] = type; } };
    this.streetView = new (Kind('StreetView'))();
    this.streetView.setPosition = function (p) { this.position = p; };
    this.streetView.setPov = function (pov) { this.pov = pov; };
    this.streetView.setVisible = function (v) { this.visible = v; };
    fake.map = this;
  };
  Map.prototype = Object.create(BaseMap.prototype);
  Map.prototype.getCenter = function () { return this.values.center; };
  Map.prototype.setCenter = function (c) { this.values.center = c; google.maps.event.trigger(this, 'center_changed'); };
  Map.prototype.fitBounds = function (b) { fake.fitted.push(b); };
  Map.prototype.getStreetView = function () { return this.streetView; };
  Map.prototype.getBounds = function () { return new LatLngBounds(new LatLng(-1, -2), new LatLng(3, 4)); };
  Map.prototype.getProjection = function () {
    return { fromLatLngToPoint: function (p) { return { x: (p.lng() + 180) / 360 * 256, y: 128 - p.lat() }; } };
  };
  Map.prototype.getZoom = function () { return this.values.zoom; };
  Map.prototype.getMapTypeId = function () { return this.values.mapTypeId; };
  Map.prototype.setMapTypeId = function (id) {
    this.values.mapTypeId = id;
    google.maps.event.trigger(this, 'maptypeid_changed');
  };

  var Marker = Kind('Marker');
  Marker.prototype.setIcon = function (icon) { this.values.icon = icon; };
  Marker.prototype.setAnimation = function (a) { this.values.animation = a; };
  Marker.prototype.getPosition = function () { return this.values.position; };

  function PathOf(name) {
    return function () {
      var self = this;
      return { getArray: function () { return self.values[name] || []; } };
    };
  }
  var Polyline = Kind('Polyline');
  Polyline.prototype.getPath = PathOf('path');
  var Polygon = Kind('Polygon');
  Polygon.prototype.getPath = PathOf('paths');

  var InfoWindow = Kind('InfoWindow');
  InfoWindow.prototype.open = function (map, anchor) { this.opened = true; this.anchor = anchor || null; };
  InfoWindow.prototype.close = function () { this.opened = false; };
  InfoWindow.prototype.getContent = function () { return this.values.content; };
  InfoWindow.prototype.setPosition = function (p) { this.values.position = p; };

  window.google = {
    maps: {
      LatLng: LatLng,
      LatLngBounds: LatLngBounds,
      Size: function (w, h) { this.width = w; this.height = h; },
      Map: Map,
      Marker: Marker,
      Polyline: Polyline,
      Polygon: Polygon,
      InfoWindow: InfoWindow,
      ImageMapType: function (options) { this.options = options; this.name = options.name; },
      DirectionsRenderer: Kind('DirectionsRenderer'),
      KmlLayer: Kind('KmlLayer'),
      TrafficLayer: Kind('TrafficLayer'),
      TransitLayer: Kind('TransitLayer'),
      BicyclingLayer: Kind('BicyclingLayer'),
      MapTypeId: { HYBRID: 'hybrid', ROADMAP: 'roadmap', SATELLITE: 'satellite', TERRAIN: 'terrain' },
      ControlPosition: { TOP_LEFT: 1, TOP_CENTER: 2, TOP_RIGHT: 3, LEFT_CENTER: 4, LEFT_TOP: 5, LEFT_BOTTOM: 6,
                         RIGHT_TOP: 7, RIGHT_CENTER: 8, RIGHT_BOTTOM: 9, BOTTOM_LEFT: 10, BOTTOM_CENTER: 11,
                         BOTTOM_RIGHT: 12 },
      MapTypeControlStyle: { DEFAULT: 0, HORIZONTAL_BAR: 1, DROPDOWN_MENU: 2 },
      ZoomControlStyle: { DEFAULT: 0, SMALL: 1, LARGE: 2 },
      Animation: { BOUNCE: 1, DROP: 2 },
      SymbolPath: { CIRCLE: 0, FORWARD_CLOSED_ARROW: 1, FORWARD_OPEN_ARROW: 2, BACKWARD_CLOSED_ARROW: 3,
                    BACKWARD_OPEN_ARROW: 4 },
      event: {
        addListener: function (obj, name, handler) {
          obj.listeners = obj.listeners || {};
          (obj.listeners[name] = obj.listeners[name] || []).push(handler);
        },
        trigger: function (obj, name, arg) {
          var handlers = (obj.listeners && obj.listeners[name]) || [];
          for (var i = 0; i < handlers.length; i++) handlers[i](arg);
        }
      }
    }
  };

  fake.addLayerLibraries = function () {
    google.maps.weather = {
      WeatherLayer: Kind('WeatherLayer'),
      CloudLayer: Kind('CloudLayer'),
      TemperatureUnit: { CELSIUS: 'c', FAHRENHEIT: 'f' },
      WindSpeedUnit: { KILOMETERS_PER_HOUR: 'kmh', METERS_PER_SECOND: 'ms', MILES_PER_HOUR: 'mph' },
      LabelColor: { BLACK: 'black', WHITE: 'white' }
    };
    google.maps.panoramio = { PanoramioLayer: Kind('PanoramioLayer') };
  };
  fake.ofKind = function (kind) {
    return fake.created.filter(function (o) { return o.kind == kind; });
  };
})();
