# A small Sphinx project with the Read the Docs theme, customised the usual way: a style sheet
# of its own that @imports the theme's, a logo in SVG and a figure.
project = "Tidewater"
author = "The Tidewater developers"
copyright = "2024, The Tidewater developers"
release = "2.3"
extensions = []
html_theme = "sphinx_rtd_theme"
html_static_path = ["_static"]
html_style = "css/custom.css"
html_logo = "_static/logo.svg"
html_theme_options = {"logo_only": False, "style_nav_header_background": "#2c5d7c"}
html_last_updated_fmt = None
html_show_sourcelink = False
