// Builds the view from data it carries: a card per mooring, each with a picture whose address
// is relative to the document's base, as a router-driven app writes them.
(function () {
  var moorings = [
    { name: "North quay", berths: 14, picture: "spa/img/north-quay.jpg" },
    { name: "Breakwater", berths: 6, picture: "spa/img/breakwater.jpg" },
    { name: "Inner basin", berths: 22, picture: "spa/img/inner-basin.jpg" }
  ];
  var app = document.getElementById("app");
  app.textContent = "";
  var title = document.createElement("h2");
  title.textContent = moorings.length + " moorings, route " + (location.hash || "#/");
  app.appendChild(title);
  var list = document.createElement("div");
  list.className = "cards";
  moorings.forEach(function (m) {
    var card = document.createElement("article");
    card.className = "card";
    var img = document.createElement("img");
    img.src = m.picture;
    img.width = 320;
    img.height = 200;
    img.alt = m.name;
    var caption = document.createElement("p");
    caption.textContent = m.name + ": " + m.berths + " berths";
    card.appendChild(img);
    card.appendChild(caption);
    list.appendChild(card);
  });
  app.appendChild(list);
})();
