/// @file shapes.h
/// Plane shapes with their areas and outlines, for the drawing examples.

#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

/// Everything of the drawing examples lives here.
namespace drawing {

/// A point of the plane.
struct Point {
  double x = 0;  ///< distance to the right of the origin
  double y = 0;  ///< distance above the origin
};

/// A closed figure that knows its area and its outline.
///
/// Subclasses describe one kind of figure each. A shape never changes after it is made, so
/// one shape can be drawn from several threads at once.
class Shape {
 public:
  virtual ~Shape() = default;

  /// The area enclosed by the outline, in square units.
  virtual double area() const = 0;

  /// The points of the outline, counter-clockwise, @p segments of them for curved figures.
  virtual std::vector<Point> outline(int segments) const = 0;

  /// A short name for legends, such as "circle".
  virtual std::string name() const = 0;
};

/// A circle given by its centre and radius.
class Circle : public Shape {
 public:
  /// Makes a circle; @p radius must not be negative.
  Circle(Point centre, double radius) : centre_(centre), radius_(radius) {}

  double area() const override { return M_PI * radius_ * radius_; }
  std::vector<Point> outline(int segments) const override;
  std::string name() const override { return "circle"; }

  /// The circle's radius.
  double radius() const { return radius_; }

 private:
  Point centre_;
  double radius_;
};

/// A rectangle whose sides run along the axes.
class Rectangle : public Shape {
 public:
  /// Makes a rectangle from its lower left and upper right corners.
  Rectangle(Point low, Point high) : low_(low), high_(high) {}

  double area() const override { return (high_.x - low_.x) * (high_.y - low_.y); }
  std::vector<Point> outline(int segments) const override;
  std::string name() const override { return "rectangle"; }

 private:
  Point low_;
  Point high_;
};

/// A square: a rectangle with equal sides.
class Square : public Rectangle {
 public:
  /// Makes a square from its lower left corner and its side.
  Square(Point low, double side) : Rectangle(low, Point{low.x + side, low.y + side}) {}
  std::string name() const override { return "square"; }
};

/// Sums the areas of @p shapes.
/// @param shapes the figures; null entries are skipped
/// @return the total area in square units
double totalArea(const std::vector<std::unique_ptr<Shape>>& shapes);

}  // namespace drawing
