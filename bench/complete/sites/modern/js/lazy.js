// A lazy loader of the common kind: elements marked "lazy" carry their real address in data-
// attributes, copied into src, srcset or background-image once the element comes into view.
(function () {
  function reveal(el) {
    if (el.dataset.srcset) el.srcset = el.dataset.srcset;
    if (el.dataset.src) el.src = el.dataset.src;
    if (el.dataset.bg) el.style.backgroundImage = "url(" + el.dataset.bg + ")";
    el.classList.remove("lazy");
  }
  var items = document.querySelectorAll(".lazy");
  if (!("IntersectionObserver" in window)) {
    items.forEach(reveal);
    return;
  }
  var watcher = new IntersectionObserver(function (entries) {
    entries.forEach(function (entry) {
      if (entry.isIntersecting) {
        watcher.unobserve(entry.target);
        reveal(entry.target);
      }
    });
  }, { rootMargin: "200px" });
  items.forEach(function (el) { watcher.observe(el); });
})();
