/* The part of libgpiod 2.x's interface that CGpiodLineRequest uses, for
 * building the 2.x wrapper where only libgpiod 1.x is installed. Declared
 * from the library's documentation; a system with libgpiod 2.x builds the
 * wrapper against its own header. */
#ifndef TAMBERLINK_TEST_GPIOD2_H
#define TAMBERLINK_TEST_GPIOD2_H

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct gpiod_chip;
struct gpiod_chip_info;
struct gpiod_line_info;
struct gpiod_line_settings;
struct gpiod_line_config;
struct gpiod_request_config;
struct gpiod_line_request;

enum gpiod_line_value {
	GPIOD_LINE_VALUE_ERROR = -1,
	GPIOD_LINE_VALUE_INACTIVE = 0,
	GPIOD_LINE_VALUE_ACTIVE = 1,
};

enum gpiod_line_direction {
	GPIOD_LINE_DIRECTION_AS_IS = 1,
	GPIOD_LINE_DIRECTION_INPUT,
	GPIOD_LINE_DIRECTION_OUTPUT,
};

/* Chips: opened by the path of their node; NULL with errno on failure. */
struct gpiod_chip *gpiod_chip_open(const char *path);
void gpiod_chip_close(struct gpiod_chip *chip);
struct gpiod_chip_info *gpiod_chip_get_info(struct gpiod_chip *chip);
struct gpiod_line_info *gpiod_chip_get_line_info(struct gpiod_chip *chip,
						 unsigned int offset);
struct gpiod_line_request *
gpiod_chip_request_lines(struct gpiod_chip *chip,
			 struct gpiod_request_config *req_cfg,
			 struct gpiod_line_config *line_cfg);

void gpiod_chip_info_free(struct gpiod_chip_info *info);
const char *gpiod_chip_info_get_name(struct gpiod_chip_info *info);
const char *gpiod_chip_info_get_label(struct gpiod_chip_info *info);
size_t gpiod_chip_info_get_num_lines(struct gpiod_chip_info *info);

void gpiod_line_info_free(struct gpiod_line_info *info);
bool gpiod_line_info_is_used(struct gpiod_line_info *info);
const char *gpiod_line_info_get_consumer(struct gpiod_line_info *info);

/* Settings for some lines; mutators return 0, or -1 for a bad value. */
struct gpiod_line_settings *gpiod_line_settings_new(void);
void gpiod_line_settings_free(struct gpiod_line_settings *settings);
int gpiod_line_settings_set_direction(struct gpiod_line_settings *settings,
				      enum gpiod_line_direction direction);
int gpiod_line_settings_set_output_value(struct gpiod_line_settings *settings,
					 enum gpiod_line_value value);

/* Offsets and their settings, requested in the order they were added. */
struct gpiod_line_config *gpiod_line_config_new(void);
void gpiod_line_config_free(struct gpiod_line_config *config);
int gpiod_line_config_add_line_settings(struct gpiod_line_config *config,
					const unsigned int *offsets,
					size_t num_offsets,
					struct gpiod_line_settings *settings);

struct gpiod_request_config *gpiod_request_config_new(void);
void gpiod_request_config_free(struct gpiod_request_config *config);
void gpiod_request_config_set_consumer(struct gpiod_request_config *config,
				       const char *consumer);

/* A request: its lines' values by offset; a new configuration must name
 * the same offsets in the same order. */
void gpiod_line_request_release(struct gpiod_line_request *request);
enum gpiod_line_value
gpiod_line_request_get_value(struct gpiod_line_request *request,
			     unsigned int offset);
int gpiod_line_request_set_value(struct gpiod_line_request *request,
				 unsigned int offset,
				 enum gpiod_line_value value);
int gpiod_line_request_reconfigure_lines(struct gpiod_line_request *request,
					 struct gpiod_line_config *config);

#ifdef __cplusplus
}
#endif

#endif
